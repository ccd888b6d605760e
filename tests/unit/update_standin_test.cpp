// Add, modify and delete against the scripted stand-in library: the exact
// modification lists sent, the refusals that send nothing, the server's
// refusals mapped to codes, and allocation failures at every step.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>

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

int updates_sent(Standin &standin) {
    return standin.calls("ldap_add_s") + standin.calls("ldap_modify_s") + standin.calls("ldap_delete_s");
}

// A session bound over the stand-in.
class Update : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(session.bind(), CS_SUCCEED); }
    Standin &standin = Standin::use();
    Session session{kUrl};
    HostObject host;
};

}  // namespace

TEST_F(Update, AddSendsTheObjectClassAndEveryAttributeAsText) {
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

TEST_F(Update, ModifyReplacesWithoutTouchingTheObjectClass) {
    ASSERT_EQ(session.modify("srv1", host.object()), CS_SUCCEED);
    EXPECT_EQ(standin.last_update(), "modify velmorServername=srv1, o=acme\n");

    host.integer("velmorStatus", {3}).without_oid().integer("velmorVersion", {1});
    ASSERT_EQ(session.modify("velmorServername=srv1, ou=other, o=acme", host.object()), CS_SUCCEED);
    // The list ends at the attribute without an OID text.
    EXPECT_EQ(standin.last_update(), "modify velmorServername=srv1, ou=other, o=acme\n" + sent(2, "velmorStatus", "3"));

    HostObject long_text;
    long_text.text("velmorService", DCL_SYNTAX_STRING, {std::string(600, 's')});
    ASSERT_EQ(session.modify("srv1", long_text.object()), CS_SUCCEED);
    EXPECT_NE(standin.last_update().find("=" + std::string(512, 's') + "\n"), std::string::npos) << "cut";
}

TEST_F(Update, WhatCannotBeSentIsRefusedAndTheServersRefusalsMapToCodes) {
    HostObject unknown_syntax;
    unknown_syntax.integer("velmorVersion", {1});
    unknown_syntax.object()->dcl_attrlist.dcl_attribute[0].dcl_attrsyntax = 3;
    HostObject string_without_values;
    string_without_values.empty("velmorService", DCL_SYNTAX_STRING);
    for (HostObject *values : {&unknown_syntax, &string_without_values}) {
        EXPECT_EQ(session.add("srv1", values->object()), CS_FAIL);
        EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_INVALID, 0));
    }
    EXPECT_EQ(log_count("gdd__get_ldap_value_string failed.\n"), 2);
    const std::string too_long(520, 'n');
    EXPECT_EQ(session.add(too_long, host.object()), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_INVALID, 0));
    EXPECT_EQ(session.remove(too_long), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_INVALID, 0));
    EXPECT_EQ(updates_sent(standin), 0);

    // slapd never answers an update with invalidCredentials; it counts as missing access.
    standin.script("ldap_modify_s", 49);
    EXPECT_EQ(session.modify("srv1", host.object()), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_ACCESS, 49));

    ASSERT_EQ(session.unbind(), CS_SUCCEED);
    EXPECT_EQ(session.add("srv1", host.object(), 4), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_UPDATE, -1));
    EXPECT_EQ(session.remove("srv1", 4), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_DELETE, -1));
    EXPECT_EQ(updates_sent(standin), 1);
}

// Every allocation along an add or a modify fails once in its own run: each
// run reports code 1 with ENOMEM and sends nothing; the sanitizer build sees
// any leak.
TEST(UpdateAllocation, EveryFailureIsReportedAndSendsNothing) {
    Standin &standin = Standin::use();
    Session session(kUrl, 0, "", &driver_internals());
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    HostObject host;
    host.text("velmorServername", DCL_SYNTAX_STRING, {"srv1", "alias"})
        .integer("velmorVersion", {1})
        .address("velmorAddress", "tcp", 0, "h 1 ssl");
    for (auto operation : {&Session::add, &Session::modify}) {
        const long before = gdd_alloc::allocations;
        ASSERT_EQ((session.*operation)("srv1", host.object(), 4), CS_SUCCEED);
        const long needed = gdd_alloc::allocations - before;
        ASSERT_GT(needed, 5);
        for (long n = 1; n <= needed; ++n) {
            const int sent = updates_sent(standin);
            gdd_alloc::fail_at = gdd_alloc::allocations + n;
            EXPECT_EQ((session.*operation)("srv1", host.object(), 4), CS_FAIL);
            EXPECT_EQ(codes(session.comp), std::tuple(1, DLDAP_ERR_NOMEM, ENOMEM)) << n;
            EXPECT_EQ(updates_sent(standin), sent) << n;
        }
        gdd_alloc::fail_at = 0;
    }
}
