// Add, modify and delete through the built driver against every kind of
// throw-away server, checked with the driver's own read and with
// ldapsearch, and the directory's refusals mapped to their codes.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/host_object.h"
#include "support/log_file.h"
#include "support/server_suite.h"
#include "support/session.h"

namespace {

const DCL_ATTRIBUTE *attribute_of(const DCL_OBJECT &object, const char *name) {
    for (CS_INT a = 0; a < object.dcl_attrlist.dcl_numattr; ++a)
        if (std::string(oid_of(name)) == object.dcl_attrlist.dcl_attribute[a].dcl_attrtype.dcl_oidp)
            return &object.dcl_attrlist.dcl_attribute[a];
    return nullptr;
}

// srv1 with an entry below it, which no server lets go while it has one.
DirectoryServerOptions with_parent_and_child() {
    DirectoryServerOptions options;
    options.initial_ldif = DirectoryServer::server_entry("srv1") +
                           DirectoryServer::server_entry("child", "", "velmorServername=srv1," +
                                                                          std::string(DirectoryServer::kServersBase));
    return options;
}

struct BoundSession : Session {
    explicit BoundSession(const std::string &init) : Session(init) { EXPECT_EQ(bind(), CS_SUCCEED); }
};

class Update : public ServerSuite {
protected:
    Update() : ServerSuite(with_parent_and_child()) {}
};

}  // namespace

TEST_P(Update, AddReadModifyReadDelete) {
    BoundSession session(as_admin());
    HostObject host;
    host.text("velmorServername", DCL_SYNTAX_STRING, {"srv-rt"})
        .integer("velmorVersion", {15})
        .text("velmorService", DCL_SYNTAX_STRING, {"orders"})
        .address("velmorAddress", "QRWINET", 0, "srvhost, 5000")
        .text("velmorSecurity", DCL_SYNTAX_OID, {"1.3.6.1.4.1.32473.9.1"});
    ASSERT_EQ(session.add("srv-rt", host.object()), CS_SUCCEED) << session.comp.dcl_oserr;

    ASSERT_EQ(session.read("srv-rt"), CS_SUCCEED);
    ASSERT_EQ(session.result()->dcl_numentries, 1);
    const DCL_OBJECT &added = *session.result()->dcl_objlist[0];
    // The driver names the entry "velmorServername=srv-rt, ou=servers,..."; the server drops the blank.
    EXPECT_STREQ(added.dcl_dist_name.dcl_stringp, ("velmorServername=srv-rt," + server().servers_base()).c_str());
    EXPECT_EQ(attribute_of(added, "velmorVersion")->dcl_attrvalues[0].dcl_integer, 15);
    const DCL_ATTRIBUTE *address = attribute_of(added, "velmorAddress");
    ASSERT_NE(address, nullptr);
    EXPECT_STREQ(address->dcl_attrvalues[0].dcl_tranaddr.dcl_trantype, "TCP");
    EXPECT_STREQ(address->dcl_attrvalues[0].dcl_tranaddr.dcl_tranaddress, "srvhost 5000");
    EXPECT_STREQ(attribute_of(added, "velmorSecurity")->dcl_attrvalues[0].dcl_string.dcl_stringp,
                 "1.3.6.1.4.1.32473.9.1");
    const std::string independent =
        server().ldapsearch_output(server().servers_base(), "one", "(velmorServername=srv-rt)");
    EXPECT_NE(independent.find("velmorAddress: TCP#0#srvhost 5000"), std::string::npos) << independent;
    EXPECT_NE(independent.find("objectClass: velmorServer"), std::string::npos) << independent;

    HostObject change;
    change.integer("velmorVersion", {16});
    ASSERT_EQ(session.modify("srv-rt", change.object()), CS_SUCCEED);
    ASSERT_EQ(session.read("srv-rt"), CS_SUCCEED);
    const DCL_OBJECT &modified = *session.result()->dcl_objlist[0];
    EXPECT_EQ(attribute_of(modified, "velmorVersion")->dcl_attrvalues[0].dcl_integer, 16);
    EXPECT_NE(attribute_of(modified, "velmorService"), nullptr);  // untouched

    ASSERT_EQ(session.remove("srv-rt"), CS_SUCCEED);
    EXPECT_EQ(session.read("srv-rt"), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, 7, 0));
    EXPECT_EQ(server().ldapsearch_output(server().servers_base(), "one", "(velmorServername=srv-rt)"), "");
}

TEST_P(Update, DirectoryAnswersMapToTheirCodes) {
    BoundSession admin(as_admin());
    HostObject host;
    host.text("velmorServername", DCL_SYNTAX_STRING, {"srv1"});
    EXPECT_EQ(admin.add("srv1", host.object()), CS_FAIL);
    EXPECT_EQ(codes(admin.comp), std::tuple(1, 13, 68));
    EXPECT_EQ(admin.remove("missing"), CS_FAIL);
    EXPECT_EQ(codes(admin.comp), std::tuple(1, 14, 32));
    EXPECT_EQ(admin.remove("srv1"), CS_FAIL);  // it has a child
    EXPECT_EQ(codes(admin.comp), std::tuple(1, 14, 66));
    EXPECT_TRUE(log_contains("LDAP_ADD_S/LDAP_MODIFY_S failed: \"Already exists\"(68)\n"));
    EXPECT_TRUE(log_contains("ldap_delete_s call failed: \"No such object\"(32)\n"));

    BoundSession reader(as_reader());
    HostObject other;
    other.text("velmorServername", DCL_SYNTAX_STRING, {"srv2"});
    EXPECT_EQ(reader.add("srv2", other.object()), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 15, 50));
    EXPECT_EQ(reader.modify("srv1", other.object()), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 15, 50));
    EXPECT_EQ(reader.remove("velmorServername=child,velmorServername=srv1," + server().servers_base()), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 15, 50));
    EXPECT_EQ(log_count("Insufficient access to perform the operation!!\n"), 3);
}

INSTANTIATE_FOR_EVERY_SERVER(Update);
