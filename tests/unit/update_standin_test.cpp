// Add, modify and delete against the scripted stand-in library: the exact
// modification lists sent, the refusals that send nothing, the server's
// refusals mapped to codes, and allocation failures at every step.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "ldap_alloc.h"
#include "ldap_drv.h"
#include "support/host_object.h"
#include "support/loaded_driver.h"
#include "support/log_file.h"
#include "support/session.h"
#include "support/standin.h"

namespace {

constexpr char kUrl[] = "ldap://127.0.0.1:389/o=acme";

// One attribute of the modification list the stand-in records: "OP OID=VALUES".
std::string sent(int operation, const char *name, const std::string &values) {
    return std::to_string(operation) + " " + oid_of(name) + "=" + values + "\n";
}

struct BoundSession : Session {
    BoundSession() : Session(kUrl) {
        EXPECT_EQ(bind(), CS_SUCCEED);
    }
};

}  // namespace

TEST(Update, AddSendsTheObjectClassAndEveryAttributeAsText) {
    Standin &standin = Standin::use();
    BoundSession session;
    HostObject host;
    host.text("velmorServername", DCL_SYNTAX_STRING, {"srv1"})
        .integer("velmorVersion", {-2147483647 - 1, 7})
        .address("velmorAddress", "QRWINET", 0, "srvhost, 5000")
        .text("velmorSecurity", DCL_SYNTAX_OID, {"1.2.3"})
        .empty("velmorStatus", DCL_SYNTAX_INTEGER)
        .empty("velmorAddress", DCL_SYNTAX_TRANADDR);
    ASSERT_EQ(session.add("srv1", host.object()), CS_SUCCEED);
    EXPECT_EQ(standin.last_update(),
              "add velmorServername=srv1, o=acme\n0 ObjectClass=velmorServer\n" + sent(0, "velmorServername", "srv1") +
                  sent(0, "velmorVersion", "-2147483648|7") + sent(0, "velmorAddress", "TCP#0#srvhost 5000") +
                  sent(0, "velmorSecurity", "1.2.3") + sent(0, "velmorStatus", "0") + sent(0, "velmorAddress", " "));
    EXPECT_EQ(session.comp.dcl_status, -11);
}

TEST(Update, ModifyReplacesWithoutTouchingTheObjectClass) {
    Standin &standin = Standin::use();
    BoundSession session;
    HostObject none;
    ASSERT_EQ(session.modify("srv1", none.object()), CS_SUCCEED);
    EXPECT_EQ(standin.last_update(), "modify velmorServername=srv1, o=acme\n");
    EXPECT_TRUE(log_contains("gdd__set_entry: Found 0 attributes in the DCL_OBJECT\n"));
    EXPECT_TRUE(log_contains("gdd__set_entry: Storing 1 attributes (One extra for ObjectClass)\n"));

    HostObject host;
    host.integer("velmorStatus", {3}).without_oid().integer("velmorVersion", {1});
    ASSERT_EQ(session.modify("velmorServername=srv1, ou=other, o=acme", host.object()), CS_SUCCEED);
    // The list ends at the attribute without an OID text.
    EXPECT_EQ(standin.last_update(),
              "modify velmorServername=srv1, ou=other, o=acme\n" + sent(2, "velmorStatus", "3"));

    HostObject long_text;
    long_text.text("velmorService", DCL_SYNTAX_STRING, {std::string(600, 's')});
    ASSERT_EQ(session.modify("srv1", long_text.object()), CS_SUCCEED);
    EXPECT_NE(standin.last_update().find("=" + std::string(512, 's') + "\n"), std::string::npos) << "cut";
}

TEST(Update, ValuesThatCannotBeWrittenSendNothing) {
    Standin &standin = Standin::use();
    BoundSession session;
    HostObject unknown_syntax;
    unknown_syntax.integer("velmorVersion", {1});
    unknown_syntax.object()->dcl_attrlist.dcl_attribute[0].dcl_attrsyntax = 3;
    HostObject string_without_values;
    string_without_values.empty("velmorService", DCL_SYNTAX_STRING);
    for (HostObject *host : {&unknown_syntax, &string_without_values}) {
        EXPECT_EQ(session.add("srv1", host->object()), CS_FAIL);
        EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_INVALID, 0));
    }
    EXPECT_EQ(standin.calls("ldap_add_s"), 0);
    EXPECT_EQ(log_count("gdd__get_ldap_value_string failed.\n"), 2);

    const std::string too_long(520, 'n');
    HostObject host;
    EXPECT_EQ(session.add(too_long, host.object()), CS_FAIL);
    EXPECT_EQ(session.comp.dcl_provstatus, DLDAP_ERR_INVALID);
    EXPECT_EQ(session.remove(too_long), CS_FAIL);
    EXPECT_EQ(session.comp.dcl_provstatus, DLDAP_ERR_INVALID);
    EXPECT_EQ(standin.calls("ldap_add_s") + standin.calls("ldap_delete_s"), 0);
}

// slapd never answers an update with invalidCredentials; the driver counts it as missing access.
TEST(Update, InvalidCredentialsAreAnAccessFailure) {
    Standin &standin = Standin::use();
    BoundSession session;
    HostObject host;
    standin.script("ldap_modify_s", 49);
    EXPECT_EQ(session.modify("srv1", host.object()), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_ACCESS, 49));
}

TEST(Update, ASessionWithoutConnectionSendsNothing) {
    Standin &standin = Standin::use();
    Session session(kUrl);
    HostObject host;
    EXPECT_EQ(session.add("srv1", host.object(), 4), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_UPDATE, -1));
    EXPECT_EQ(session.remove("srv1", 4), CS_FAIL);
    EXPECT_EQ(session.comp.dcl_provstatus, DLDAP_ERR_DELETE);
    EXPECT_EQ(standin.calls("ldap_add_s") + standin.calls("ldap_delete_s"), 0);
}

// Every allocation along an add or a modify fails once in its own run: each
// run reports code 1 with ENOMEM and sends nothing; the sanitizer build sees
// any leak.
TEST(Update, EveryAllocationFailureIsReportedAndSendsNothing) {
    Standin &standin = Standin::use();
    DCL_SESS_PROPS properties = session_properties();
    DCL_COMP comp{};
    CS_VOID *handle = nullptr;
    CS_INT version = 0;
    ASSERT_EQ(gdd_open(const_cast<char *>(kUrl), CS_NULLTERM, &version, &handle, &comp, &properties),
              CS_SUCCEED);
    ASSERT_EQ(gdd_bind(handle, &comp), CS_SUCCEED);
    HostObject host;
    host.text("velmorServername", DCL_SYNTAX_STRING, {"srv1", "alias"})
        .integer("velmorVersion", {1})
        .address("velmorAddress", "tcp", 0, "h 1 ssl");
    for (auto operation : {&gdd_add_entry, &gdd_modify_entry}) {
        const long before = gdd_alloc::allocations;
        ASSERT_EQ(operation(handle, const_cast<char *>("srv1"), 4, host.object(), &comp), CS_SUCCEED);
        const long needed = gdd_alloc::allocations - before;
        ASSERT_GT(needed, 5);
        for (long n = 1; n <= needed; ++n) {
            const int sent = standin.calls("ldap_add_s") + standin.calls("ldap_modify_s");
            gdd_alloc::fail_at = gdd_alloc::allocations + n;
            comp = DCL_COMP{};
            EXPECT_EQ(operation(handle, const_cast<char *>("srv1"), 4, host.object(), &comp), CS_FAIL);
            EXPECT_EQ(codes(comp), std::tuple(1, DLDAP_ERR_NOMEM, ENOMEM)) << n;
            EXPECT_EQ(standin.calls("ldap_add_s") + standin.calls("ldap_modify_s"), sent) << n;
        }
        gdd_alloc::fail_at = 0;
    }
    ASSERT_EQ(gdd_unbind(handle, &comp), CS_SUCCEED);
    ASSERT_EQ(gdd_close(handle, &comp), CS_SUCCEED);
}
