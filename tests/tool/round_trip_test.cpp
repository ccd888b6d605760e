// veldir's directory commands against every kind of throw-away server: an
// entry added, read, modified, listed, imported beside and deleted, over
// StartTLS (a listing also without), must read the same whatever the
// server (389 DS answers with OIDs, slapd with names; veldir shows names in
// its own order).
#include "support/server_suite.h"
#include "tool/tool_runner.h"

namespace {

DirectoryServerOptions with_tls_and_alpha() {
    DirectoryServerOptions options;
    options.tls = true;
    options.initial_ldif = DirectoryServer::server_entry("alpha", "velmorVersion: 3\n");
    return options;
}

class VeldirRoundTrip : public ServerSuite {
protected:
    VeldirRoundTrip() : ServerSuite(with_tls_and_alpha()) {}
    ToolResult veldir(const std::vector<std::string> &arguments) {
        std::vector<std::string> words{"--init", as_admin("starttls "), "--ca", server().ca_file(), "--timelimit", "5"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return run_veldir(words);
    }
    void expect_ldif(const std::string &name, const std::string &attributes) {
        const ToolResult read = veldir({"--ldif", "read", name});
        EXPECT_EQ(read.exit_code, 0) << read.err;
        EXPECT_EQ(read.out, "dn: velmorServername=" + name + "," + server().servers_base() +
                                "\nobjectClass: velmorServer\n" + attributes + "\n");
    }
};

}  // namespace

TEST_P(VeldirRoundTrip, EveryCommandReadsTheSameOnEveryServer) {
    ToolResult result = veldir({"add", "srv9", "velmorAddress=tcp#0#h9 9000", "velmoraddress=ipx#2#net 1",
                                "velmorVersion=4", "velmorSecurity=1.3.6.1.4.1.32473.9"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    expect_ldif("srv9", "velmorVersion: 4\nvelmorServername: srv9\nvelmorAddress: TCP#0#h9 9000\n"
                        "velmorAddress: ipx#2#net 1\nvelmorSecurity: 1.3.6.1.4.1.32473.9\n");

    result = veldir({"modify", "srv9", "velmorAddress=tcp#1#h9 9001 ssl", "velmorStatus=-2"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    expect_ldif("srv9", "velmorVersion: 4\nvelmorServername: srv9\nvelmorStatus: -2\n"
                        "velmorAddress: tcp#1#h9 9001 ssl\nvelmorSecurity: 1.3.6.1.4.1.32473.9\n");

    write_file("servers.ldif", "dn: velmorServername=srv10," + server().servers_base() +
                                   "\nvelmorService:: cmVwb3J0cyDDpCDDtg==\n\n"
                                   "dn: velmorServername=alpha," + server().servers_base() + "\nvelmorVersion: 9\n");
    result = veldir({"import", "servers.ldif"});
    EXPECT_EQ(result.exit_code, 1) << "alpha is there already";
    EXPECT_THAT(result.out, HasSubstr("2 entries: 1 added, 0 skipped, 0 replaced, 1 refused, 0 not tried"));
    EXPECT_THAT(result.out, HasSubstr("LDAP 68 entryAlreadyExists"));
    expect_ldif("srv10", "velmorServername: srv10\nvelmorService:: cmVwb3J0cyDDpCDDtg==\n");

    // Without StartTLS 389 DS keeps the session at protocol version 2.
    result = run_veldir({"--init", as_reader(), "search"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("3 entries"));

    EXPECT_EQ(veldir({"delete", "srv9"}).exit_code, 0);
    EXPECT_THAT(veldir({"read", "srv9"}).err, HasSubstr("DLDAP_ERR_NOENTRY (7)"));
}

INSTANTIATE_FOR_EVERY_SERVER(VeldirRoundTrip);
