// The throw-away slapd that the directory tests stand on, and the schema
// files in both of their forms.  The loopback servers, TLS, accounts and
// size limit are proven by the driver tests that use them.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "support/slapd_server.h"

namespace {

namespace fs = std::filesystem;

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

}  // namespace

// Stop, start, suspend and resume as the fault tests use them, and the
// schema as the driver writes to it: OIDs as attribute types, and addresses
// that differ only in case or blanks kept as distinct values.
TEST(SlapdFixture, KeepsPortsDataAndEveryAttributeAndLeavesNothingBehind) {
    struct Row {
        const char *oid, *name, *value;
    };
    constexpr Row rows[] = {
        {"1.3.6.1.4.1.32473.4.2.1", "velmorVersion", "1550"},
        {"1.3.6.1.4.1.32473.4.2.2", "velmorServername", "srv1"},
        {"1.3.6.1.4.1.32473.4.2.3", "velmorService", "query service"},
        {"1.3.6.1.4.1.32473.4.2.4", "velmorStatus", "-1"},
        {"1.3.6.1.4.1.32473.4.2.5", "velmorAddress", "TCP#0#srvhost 5000"},
        {"1.3.6.1.4.1.32473.4.2.5", "velmorAddress", "tcp#0#srvhost 5000"},
        {"1.3.6.1.4.1.32473.4.2.5", "velmorAddress", "tcp#1#srvhost 5000  ssl"},
        {"1.3.6.1.4.1.32473.4.2.5", "velmorAddress", "tcp#1#srvhost 5000 ssl"},
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
    std::string directory;
    pid_t last_pid = -1;
    {
        SlapdServer server;
        directory = server.directory();
        const std::string srv1 = "dn: velmorServername=srv1," + server.servers_base() + "\n";
        std::string ldif = srv1 + "objectClass: velmorServer\n";
        for (const Row &row : rows) ldif += std::string(row.oid) + ": " + row.value + "\n";
        server.add_ldif(ldif + "1.3.6.1.4.1.32473.4.2.5:: IA==\n");  // a blank address is stored
        const pid_t first_pid = server.pid();
        const int port = server.port();

        server.stop();
        EXPECT_NE(::kill(first_pid, 0), 0);
        server.add_ldif("dn: velmorServername=srv2," + server.servers_base() +
                        "\nobjectClass: velmorServer\nvelmorServername: srv2\n\n");  // slapadd while stopped
        server.start();
        EXPECT_EQ(server.port(), port);
        // Suspended, the server still accepts connections but answers nothing.
        const std::vector<std::string> root_dse = {"timeout", "0.5", "ldapsearch", "-x", "-H", server.url(),
                                                   "-b", "", "-s", "base"};
        server.suspend();
        EXPECT_EQ(veldldap::run_program(root_dse).exit_code, 124);  // timeout(1) ended it
        server.resume();
        EXPECT_TRUE(veldldap::run_program(root_dse).ok());

        const std::string found =
            server.ldapsearch_output(server.suffix(), "sub", "(1.3.6.1.4.1.32473.4.2.2=SRV1)");
        for (const Row &row : rows)
            EXPECT_NE(found.find("\n" + std::string(row.name) + ": " + row.value + "\n"), std::string::npos)
                << row.value;
        EXPECT_NE(found.find("\nvelmorAddress:: IA==\n"), std::string::npos) << found;
        for (const char *filter : {"(velmorServername=sr*1)", "(velmorStatus<=0)"})
            EXPECT_EQ(server.ldapsearch_output(server.suffix(), "sub", filter, {"1.1"}), srv1 + "\n") << filter;
        EXPECT_EQ(count_lines_starting_with(
                      server.ldapsearch_output(server.servers_base(), "one", "(velmorServername=*)", {"1.1"}), "dn: "),
                  2);
        last_pid = server.pid();
    }
    EXPECT_NE(::kill(last_pid, 0), 0);
    EXPECT_FALSE(fs::exists(directory));
}

// Each form turned into cn=config by slapd's own tools: the cn=config LDIF
// must load, and say the same as the .schema file.
TEST(SchemaFiles, ConfigLdifLoadsAndMatchesTheSchemaFile) {
    const std::string schema = std::string(VELDLDAP_SOURCE_DIR) + "/schema/";
    const auto definitions_in = [](const std::string &config_directory) {
        const auto dump = veldldap::run_program(
            {"slapcat", "-n0", "-F", config_directory, "-o", "ldif-wrap=no", "-a", "(cn={1}velmor)"});
        EXPECT_TRUE(dump.ok()) << dump.summary();
        std::vector<std::string> definitions;
        std::istringstream lines(dump.out);
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
    const auto loaded = veldldap::run_program({"slapadd", "-n0", "-F", "from-ldif"}, {.input = init});
    ASSERT_TRUE(loaded.ok()) << loaded.summary();

    fs::create_directory("from-schema");
    std::ofstream("slapd.conf") << "include /etc/ldap/schema/core.schema\ninclude " << schema << "velmor.schema\n";
    const auto converted = veldldap::run_program({"slaptest", "-f", "slapd.conf", "-F", "from-schema"});
    ASSERT_TRUE(converted.ok()) << converted.summary();

    const auto from_ldif = definitions_in("from-ldif");
    EXPECT_EQ(from_ldif.size(), 17u);
    EXPECT_EQ(from_ldif, definitions_in("from-schema"));
}
