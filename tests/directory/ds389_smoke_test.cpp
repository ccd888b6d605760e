// The built driver against a throw-away 389 Directory Server: binds on a
// plain connection, after StartTLS and on ldaps://, the seeded entries read
// back, an update round trip, the access rules and the size limit; and the
// two ways this server differs from slapd: it accepts the driver's first
// bind at protocol version 2, so a session without StartTLS never switches
// to version 3, and it names the attributes it returns by the OIDs the
// driver asked with.  Without 389 DS installed the cases are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ldap_schema.h"
#include "support/ds389_server.h"
#include "support/host_object.h"
#include "support/log_file.h"
#include "support/session.h"

namespace {

constexpr const char *kVersion3 = "Setting LDAP_OPT_PROTOCOL_VERSION to LDAP_VERSION3\n";

// Every attribute of the vocabulary with its syntax, in the driver's order.
const std::vector<std::tuple<const char *, const char *, CS_INT>> kFullEntry = {
    {"velmorVersion", "3", DCL_SYNTAX_INTEGER},
    {"velmorServername", "srv1", DCL_SYNTAX_STRING},
    {"velmorService", "billing", DCL_SYNTAX_STRING},
    {"velmorStatus", "-2", DCL_SYNTAX_INTEGER},
    {"velmorAddress", "TCP#0#h1 5000", DCL_SYNTAX_TRANADDR},
    {"velmorSecurity", "1.2.840.113549", DCL_SYNTAX_OID},
    {"velmorRetryCount", "4", DCL_SYNTAX_INTEGER},
    {"velmorRetryDelay", "2147483647", DCL_SYNTAX_INTEGER},
    {"velmorJcourierProtocol", "jcp", DCL_SYNTAX_STRING},
    {"velmorJcourierProperty", "a=b", DCL_SYNTAX_STRING},
    {"velmorDatabaseName", "db1", DCL_SYNTAX_STRING},
    {"velmorHAservername", "srv1b", DCL_SYNTAX_STRING},
    {"velmorResourceManagerName", "rm", DCL_SYNTAX_STRING},
    {"velmorResourceManagerType", "7", DCL_SYNTAX_INTEGER},
    {"velmorJdbcDataSourceInterface", "javax.sql.DataSource", DCL_SYNTAX_STRING},
    {"velmorServerType", "primary", DCL_SYNTAX_STRING},
};

std::string server_entry(const std::string &name, const std::string &base, const std::string &more = "") {
    return "dn: velmorServername=" + name + "," + base + "\nobjectClass: velmorServer\nvelmorServername: " +
           name + "\n" + more + "\n";
}

// srv1 with every attribute, and two more: one more than the size limit.
std::string seed(const std::string &base) {
    std::string attributes;
    for (const auto &[name, value, syntax] : kFullEntry)
        if (std::string(name) != "velmorServername") attributes += std::string(name) + ": " + value + "\n";
    return server_entry("srv1", base, attributes) + server_entry("srv2", base) + server_entry("srv3", base);
}

class Ds389Directory : public ::testing::Test {
protected:
    static constexpr int kSizeLimit = 2;

    void SetUp() override {
        if (!Ds389Server::installed()) GTEST_SKIP() << "389 Directory Server (ns-slapd) is not installed";
    }

    // One server per test process; every case runs in a process of its own.
    static Ds389Server &server() {
        static Ds389Server running([] {
            DirectoryServerOptions options;
            options.tls = true;
            options.size_limit = kSizeLimit;
            options.initial_ldif = seed("ou=servers," + options.suffix);
            return options;
        }());
        return running;
    }

    // The servers' container on `url` (default: the ldap:// port), as an account or anonymous.
    static std::string init_string(const std::string &dn = "", const std::string &password = "",
                                   const std::string &url = server().url()) {
        std::string text = url + "/" + server().servers_base();
        if (!dn.empty()) text += "????bindname=" + dn + "?" + password;
        return text;
    }
    static std::string as_admin() { return init_string(server().admin_dn(), server().admin_password()); }
    static std::string as_reader() { return init_string(server().reader_dn(), server().reader_password()); }
};

const DCL_ATTRIBUTE *attribute_of(const DCL_OBJECT &object, const std::string &oid) {
    for (CS_INT a = 0; a < object.dcl_attrlist.dcl_numattr; ++a)
        if (oid == object.dcl_attrlist.dcl_attribute[a].dcl_attrtype.dcl_oidp)
            return &object.dcl_attrlist.dcl_attribute[a];
    return nullptr;
}

std::tuple<CS_INT, CS_INT, CS_INT> codes(const DCL_COMP &comp) {
    return {comp.dcl_status, comp.dcl_provstatus, comp.dcl_oserr};
}

}  // namespace

// Each account binds on each transport and reads an entry in that session.
// Only StartTLS needs version 3; every other session stays at version 2,
// the version the driver starts with, for its whole life.
TEST_F(Ds389Directory, BindsOnEveryTransportAndKeepsVersion2WithoutStartTls) {
    const std::string ldaps = "ldaps://127.0.0.1:" + std::to_string(server().ldaps_port());
    struct Case {
        const char *session;
        std::string init;
        bool version3;
    };
    const Case cases[] = {
        {"anonymous", init_string(), false},
        {"administrator", as_admin(), false},
        {"reader after StartTLS", "starttls " + as_reader(), true},
        {"administrator on ldaps", init_string(server().admin_dn(), server().admin_password(), ldaps), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.session);
        const std::size_t logged = log_messages().size();
        Session session("retry=1 " + c.init, 5, server().ca_file());
        ASSERT_EQ(session.bind(), CS_SUCCEED) << session.comp.dcl_provstatus << "/" << session.comp.dcl_oserr;
        ASSERT_EQ(session.read("srv2"), CS_SUCCEED);
        EXPECT_EQ(session.result()->dcl_numentries, 1);
        const std::vector<std::string> all = log_messages();
        const std::vector<std::string> own(all.begin() + static_cast<long>(logged), all.end());
        EXPECT_EQ(std::count(own.begin(), own.end(), kVersion3), c.version3 ? 1 : 0);
        EXPECT_EQ(std::count(own.begin(), own.end(), "ldap_simple_bind failed: \"Protocol error\"(2)\n"), 0);
        EXPECT_EQ(session.state().cur.retrycount, 1) << "no retry spent";
    }

    Session wrong(init_string(server().admin_dn(), "not-the-password"), 5);
    EXPECT_EQ(wrong.bind(), CS_FAIL);
    EXPECT_EQ(std::pair(wrong.comp.dcl_provstatus, wrong.comp.dcl_oserr), std::pair(10, 49));
}

// The server answers with the OIDs the driver asked for, in the order asked;
// the driver hands them on and finds each syntax by OID, so the host gets
// what it gets from slapd, which answers with the names.
TEST_F(Ds389Directory, ReadsWritesAndLimitsAsTheAccountsAllowAndKeepsEntriesOverARestart) {
    Session reader(as_reader());
    ASSERT_EQ(reader.bind(), CS_SUCCEED);
    ASSERT_EQ(reader.read("SRV1"), CS_SUCCEED);
    ASSERT_EQ(reader.result()->dcl_numentries, 1);
    const DCL_OBJECT &srv1 = *reader.result()->dcl_objlist[0];
    EXPECT_STREQ(srv1.dcl_dist_name.dcl_stringp, ("velmorServername=srv1," + server().servers_base()).c_str());
    EXPECT_STREQ(srv1.dcl_class.dcl_oidp, kServerClassOid);
    ASSERT_EQ(srv1.dcl_attrlist.dcl_numattr, static_cast<CS_INT>(kFullEntry.size()));
    for (std::size_t a = 0; a < kFullEntry.size(); ++a) {
        const DCL_ATTRIBUTE &attribute = srv1.dcl_attrlist.dcl_attribute[a];
        SCOPED_TRACE(std::get<0>(kFullEntry[a]));
        EXPECT_STREQ(attribute.dcl_attrtype.dcl_oidp, velmor_attributes[a]);
        EXPECT_EQ(attribute.dcl_attrsyntax, std::get<2>(kFullEntry[a]));
        EXPECT_TRUE(log_contains(std::string(" Copying attribute ") + velmor_attributes[a] + ":\n"));
    }
    EXPECT_EQ(attribute_of(srv1, velmor_attributes[7])->dcl_attrvalues[0].dcl_integer, 2147483647);
    EXPECT_STREQ(attribute_of(srv1, velmor_attributes[4])->dcl_attrvalues[0].dcl_tranaddr.dcl_tranaddress, "h1 5000");

    // Three entries: one more than the reader may see, none too many for the administrator.
    EXPECT_EQ(reader.search(), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 12, 4));  // sizeLimitExceeded
    Session admin(as_admin());
    ASSERT_EQ(admin.bind(), CS_SUCCEED);
    ASSERT_EQ(admin.search(), CS_SUCCEED);
    EXPECT_EQ(admin.result()->dcl_numentries, 3);

    HostObject created;
    created.text(kServernameOid, DCL_SYNTAX_STRING, {"srv-new"})
        .integer(velmor_attributes[0], {15})
        .address(velmor_attributes[4], "QRWINET", 0, "srvhost, 5000");
    EXPECT_EQ(reader.add("srv-new", created.object()), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 15, 50));
    ASSERT_EQ(admin.add("srv-new", created.object()), CS_SUCCEED) << admin.comp.dcl_oserr;
    HostObject change;
    change.integer(velmor_attributes[0], {16});
    ASSERT_EQ(admin.modify("srv-new", change.object()), CS_SUCCEED) << admin.comp.dcl_oserr;
    ASSERT_EQ(reader.read("srv-new"), CS_SUCCEED);
    const DCL_OBJECT &added = *reader.result()->dcl_objlist[0];
    // The driver names the entry "velmorServername=srv-new, ou=servers,..."; the blank goes.
    EXPECT_STREQ(added.dcl_dist_name.dcl_stringp, ("velmorServername=srv-new," + server().servers_base()).c_str());
    EXPECT_EQ(attribute_of(added, velmor_attributes[0])->dcl_attrvalues[0].dcl_integer, 16);
    EXPECT_STREQ(attribute_of(added, velmor_attributes[4])->dcl_attrvalues[0].dcl_tranaddr.dcl_tranaddress,
                 "srvhost 5000");
    EXPECT_NE(server().ldapsearch_output(server().servers_base(), "one", "(velmorServername=srv-new)")
                  .find("velmorVersion: 16\n"),
              std::string::npos);

    ASSERT_EQ(admin.remove("srv-new"), CS_SUCCEED);
    EXPECT_EQ(reader.read("srv-new"), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 7, 0));

    // An offline import replaces the whole database: what the server held
    // must come back beside what was added while it was down.
    const int port = server().port();
    server().add_ldif(server_entry("srv4", server().servers_base()));
    server().stop();
    server().add_ldif(server_entry("srv5", server().servers_base()));
    server().start();
    EXPECT_EQ(server().port(), port);
    Session after_restart(as_admin());
    ASSERT_EQ(after_restart.bind(), CS_SUCCEED);
    ASSERT_EQ(after_restart.search(), CS_SUCCEED);
    EXPECT_EQ(after_restart.result()->dcl_numentries, 5);
}
