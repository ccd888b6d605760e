// The throw-away slapd and the misbehaving loopback servers that the
// directory tests stand on, and the schema files in both of their forms.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/command.h"
#include "support/loopback_servers.h"
#include "support/slapd_server.h"

namespace {

namespace fs = std::filesystem;

constexpr int size_limit_exceeded = 4;
constexpr int stronger_auth_required = 8;  // slapd's answer to anonymous updates
constexpr int invalid_credentials = 49;
constexpr int insufficient_access = 50;
constexpr int timed_out = 124;  // exit status of timeout(1)

bool process_exists(pid_t pid) { return ::kill(pid, 0) == 0; }

int count_lines_starting_with(const std::string &text, const std::string &prefix) {
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line);) count += line.starts_with(prefix) ? 1 : 0;
    return count;
}

// Layout inside a definition is free; slapd keeps LDIF values as written.
std::string collapse_blanks(const std::string &text) {
    std::string collapsed;
    for (char c : text)
        if (c != ' ' || !collapsed.ends_with(' ')) collapsed += c;
    return collapsed;
}

std::string server_entry(const std::string &name, const std::string &base) {
    return "dn: velmorServername=" + name + "," + base + "\nobjectClass: velmorServer\nvelmorServername: " +
           name + "\n\n";
}

// ldapsearch, or any other tool of the suite, against the server.
CommandResult ldap_tool(const std::string &tool, const std::string &url, std::vector<std::string> arguments,
                        const std::string &input = {}, const std::vector<std::string> &environment = {}) {
    arguments.insert(arguments.begin(), {tool, "-x", "-H", url});
    return run_command(arguments, input, environment);
}

TEST(SlapdFixture, RestartKeepsPortsAndDataAndTheEndLeavesNothingBehind) {
    std::string directory;
    pid_t last_pid = -1;
    {
        SlapdServer server;
        directory = server.directory();
        server.add_ldif(server_entry("srv1", server.servers_base()));
        const int port = server.port();
        const pid_t first_pid = server.pid();

        server.stop();
        EXPECT_FALSE(server.running());
        EXPECT_FALSE(process_exists(first_pid));
        server.add_ldif(server_entry("srv2", server.servers_base()));  // slapadd while stopped
        server.start();

        EXPECT_EQ(server.port(), port);
        // Suspended, the server still accepts connections but answers nothing.
        const std::vector<std::string> root_dse = {"timeout", "0.5", "ldapsearch", "-x", "-H", server.url(),
                                                   "-b", "", "-s", "base"};
        server.suspend();
        EXPECT_EQ(run_command(root_dse).exit_status, timed_out);
        server.resume();
        EXPECT_TRUE(run_command(root_dse).ok());
        EXPECT_EQ(count_lines_starting_with(
                      server.ldapsearch_output(server.servers_base(), "one", "(velmorServername=*)", {"1.1"}),
                      "dn: "),
                  2);
        last_pid = server.pid();
        EXPECT_TRUE(process_exists(last_pid));
    }
    EXPECT_FALSE(process_exists(last_pid));
    EXPECT_FALSE(fs::exists(directory));
}

TEST(SlapdFixture, SchemaKeepsEveryAttributeAsTheDriverWritesIt) {
    struct Row {
        const char *oid, *name, *value;
    };
    // The driver sends OIDs as attribute types; the server answers with names.
    constexpr Row rows[] = {
        {"1.3.6.1.4.1.32473.4.2.1", "velmorVersion", "1550"},
        {"1.3.6.1.4.1.32473.4.2.2", "velmorServername", "srv1"},
        {"1.3.6.1.4.1.32473.4.2.3", "velmorService", "query service"},
        {"1.3.6.1.4.1.32473.4.2.4", "velmorStatus", "-1"},
        {"1.3.6.1.4.1.32473.4.2.5", "velmorAddress", "TCP#0#srvhost 5000"},
        {"1.3.6.1.4.1.32473.4.2.6", "velmorSecurity", "1.3.6.01.4..7"},
        {"1.3.6.1.4.1.32473.4.2.7", "velmorRetryCount", "3"},
        {"1.3.6.1.4.1.32473.4.2.8", "velmorRetryDelay", "10"},
        {"1.3.6.1.4.1.32473.4.2.9", "velmorJcourierProtocol", "tds"},
        {"1.3.6.1.4.1.32473.4.2.10", "velmorJcourierProperty", "charset=utf8"},
        {"1.3.6.1.4.1.32473.4.2.11", "velmorDatabaseName", "master"},
        {"1.3.6.1.4.1.32473.4.2.15", "velmorHAservername", "srv2"},
        {"1.3.6.1.4.1.32473.4.2.16", "velmorResourceManagerName", "rm one"},
        {"1.3.6.1.4.1.32473.4.2.17", "velmorResourceManagerType", "2"},
        {"1.3.6.1.4.1.32473.4.2.18", "velmorJdbcDataSourceInterface", "javax.sql.DataSource"},
        {"1.3.6.1.4.1.32473.4.2.19", "velmorServerType", "primary"},
    };
    // Addresses that differ only in case or in blanks are distinct values,
    // and a missing address is stored as one blank.
    const std::vector<std::string> more_addresses = {"tcp#0#srvhost 5000", "tcp#1#srvhost 5000  ssl",
                                                     "tcp#1#srvhost 5000 ssl"};
    SlapdServer server;
    std::string ldif = "dn: velmorServername=srv1," + server.servers_base() + "\nobjectClass: velmorServer\n";
    for (const Row &row : rows) ldif += std::string(row.oid) + ": " + row.value + "\n";
    for (const auto &address : more_addresses) ldif += "1.3.6.1.4.1.32473.4.2.5: " + address + "\n";
    ldif += "1.3.6.1.4.1.32473.4.2.5:: IA==\n";
    server.add_ldif(ldif);

    const std::string found =
        server.ldapsearch_output(server.suffix(), "sub", "(1.3.6.1.4.1.32473.4.2.2=SRV1)");
    const auto has_line = [&found](const std::string &line) {
        return found.find("\n" + line + "\n") != std::string::npos;
    };
    for (const Row &row : rows) EXPECT_TRUE(has_line(std::string(row.name) + ": " + row.value)) << row.name;
    for (const auto &address : more_addresses) EXPECT_TRUE(has_line("velmorAddress: " + address)) << address;
    EXPECT_TRUE(has_line("velmorAddress:: IA==")) << found;

    for (const char *filter : {"(velmorServername=*)", "(velmorServername=sr*)", "(velmorStatus<=0)"})
        EXPECT_EQ(server.ldapsearch_output(server.suffix(), "sub", filter, {"1.1"}),
                  "dn: velmorServername=srv1," + server.servers_base() + "\n\n")
            << filter;
}

TEST(SlapdFixture, StartTlsAndLdapsTrustOnlyTheServersCa) {
    SlapdOptions options;
    options.tls = true;
    SlapdServer server(options);
    struct Case {
        std::string url;
        bool start_tls;
        std::string ca_file;
        bool succeeds;
    };
    const Case cases[] = {
        {server.url(), true, server.ca_file(), true},
        {server.url(), true, server.wrong_ca_file(), false},
        {server.ldaps_url(), false, server.ca_file(), true},
        {server.ldaps_url(), false, server.wrong_ca_file(), false},
    };
    for (const Case &c : cases) {
        std::vector<std::string> arguments = {"-b", server.suffix(), "-s", "base", "1.1"};
        if (c.start_tls) arguments.push_back("-ZZ");
        const auto result = ldap_tool("ldapsearch", c.url, arguments, {},
                                      {"LDAPTLS_CACERT=" + c.ca_file, "LDAPTLS_REQCERT=demand"});
        EXPECT_EQ(result.ok(), c.succeeds) << c.url << " " << c.ca_file << ": " << result.summary();
    }
}

TEST(SlapdFixture, OnlyTheAdministratorWrites) {
    SlapdServer server;
    const std::string entry = server_entry("srv9", server.servers_base());
    struct Identity {
        std::string dn, password;
        int add_status;
    };
    const Identity identities[] = {
        {server.reader_dn(), server.reader_password(), insufficient_access},
        {"", "", stronger_auth_required},
        {server.reader_dn(), "wrong", invalid_credentials},
        {server.admin_dn(), server.admin_password(), 0},
    };
    for (const Identity &who : identities) {
        const std::vector<std::string> bind = {"-D", who.dn, "-w", who.password};
        EXPECT_EQ(ldap_tool("ldapadd", server.url(), bind, entry).exit_status, who.add_status) << who.dn;
        if (who.add_status == invalid_credentials) continue;
        auto search = bind;
        search.insert(search.end(), {"-b", server.other_base(), "-s", "base", "1.1"});
        EXPECT_TRUE(ldap_tool("ldapsearch", server.url(), search).ok()) << who.dn;
    }
}

TEST(SlapdFixture, SizeLimitHoldsForEveryoneButTheAdministrator) {
    std::string entries;
    for (int i = 0; i < 20; ++i) entries += server_entry("bulk" + std::to_string(i), "ou=servers,o=acme");
    SlapdOptions options;
    options.size_limit = 5;
    options.initial_ldif = entries;
    SlapdServer server(options);

    const std::vector<std::string> list = {"-b", server.servers_base(), "-s", "one", "-LLL", "1.1"};
    auto as_reader = list;
    as_reader.insert(as_reader.end(), {"-D", server.reader_dn(), "-w", server.reader_password()});
    for (const auto &arguments : {list, as_reader}) {
        const auto result = ldap_tool("ldapsearch", server.url(), arguments);
        EXPECT_EQ(result.exit_status, size_limit_exceeded);
        EXPECT_EQ(count_lines_starting_with(result.output, "dn: "), 5);
    }
    EXPECT_EQ(count_lines_starting_with(
                  server.ldapsearch_output(server.servers_base(), "one", "(objectClass=*)", {"1.1"}), "dn: "),
              20);
}

// The schema in its two forms, each turned into cn=config by slapd's own
// tools: the cn=config LDIF must load, and say the same as the .schema file.
TEST(SchemaFiles, ConfigLdifLoadsAndMatchesTheSchemaFile) {
    const std::string schema = std::string(VELDLDAP_SOURCE_DIR) + "/schema/";
    const auto definitions_in = [](const std::string &config_directory) {
        const auto dump = run_command({"slapcat", "-n0", "-F", config_directory, "-o", "ldif-wrap=no", "-a",
                                       "(cn={1}velmor)"});
        EXPECT_TRUE(dump.ok()) << dump.summary();
        std::vector<std::string> definitions;
        std::istringstream lines(dump.output);
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with("olcAttributeTypes:") || line.starts_with("olcObjectClasses:"))
                definitions.push_back(collapse_blanks(line));
        return definitions;
    };

    fs::create_directory("from-ldif");
    const std::string init = "dn: cn=config\nobjectClass: olcGlobal\ncn: config\n\n"
                             "dn: cn=schema,cn=config\nobjectClass: olcSchemaConfig\ncn: schema\n\n"
                             "include: file:///etc/ldap/schema/core.ldif\n\n"
                             "include: file://" + schema + "velmor.ldif\n";
    const auto loaded = run_command({"slapadd", "-n0", "-F", "from-ldif"}, init);
    ASSERT_TRUE(loaded.ok()) << loaded.summary();

    fs::create_directory("from-schema");
    std::ofstream("slapd.conf") << "include /etc/ldap/schema/core.schema\ninclude " << schema << "velmor.schema\n";
    const auto converted = run_command({"slaptest", "-f", "slapd.conf", "-F", "from-schema"});
    ASSERT_TRUE(converted.ok()) << converted.summary();

    const auto from_ldif = definitions_in("from-ldif");
    EXPECT_EQ(from_ldif.size(), 17u);
    EXPECT_EQ(from_ldif, definitions_in("from-schema"));
}

TEST(LoopbackServers, EachMisbehavesAsAsked) {
    struct Case {
        LoopbackBehaviour behaviour;
        bool readable;
        std::string received;
    };
    const Case cases[] = {
        {LoopbackBehaviour::silent, false, ""},
        {LoopbackBehaviour::closing, true, ""},
        {LoopbackBehaviour::garbage, true, LoopbackServer::garbage()},
    };
    for (const Case &c : cases) {
        LoopbackServer server(c.behaviour);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(server.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

        pollfd watched = {fd, POLLIN, 0};
        EXPECT_EQ(::poll(&watched, 1, 300) == 1, c.readable);
        if (c.readable) {
            std::string received(256, '\0');
            const ssize_t n = ::recv(fd, received.data(), received.size(), MSG_DONTWAIT);
            received.resize(n > 0 ? static_cast<size_t>(n) : 0);
            EXPECT_EQ(received, c.received);
        }
        EXPECT_EQ(server.connections(), 1);
        ::close(fd);
    }
}

}  // namespace
