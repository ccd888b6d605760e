// The directory's refusals of add, modify and delete, through the built
// driver against every kind of throw-away server, mapped to their codes.
// (veldir's round trip adds, reads, modifies and deletes on every kind.)
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/host_object.h"
#include "support/log_file.h"
#include "support/server_suite.h"
#include "support/session.h"

namespace {

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
