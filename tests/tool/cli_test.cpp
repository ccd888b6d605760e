// The command line as a user meets it: mistakes, help, and values checked
// before anything reaches the directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>
#include <sstream>

#include "tool/tool_runner.h"

namespace {

// Nothing listens here: any test that reached the network would fail with 3.
const std::string kNowhere = "ldap://127.0.0.1:9/ou=servers,o=demo????bindname=cn=admin,o=demo?secret";

TEST(VeldirCommandLine, UsageErrorsExitTwoWithAMessage) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{}, "no command given"},
        {{"bogus"}, "unknown command \"bogus\""},
        {{"--frobnicate", "search"}, "unknown option \"--frobnicate\""},
        {{"read"}, "usage: veldir read NAME"},
        {{"modify", "srv1"}, "usage: veldir modify NAME ATTRIBUTE=VALUE..."},
        {{"delete", "a", "b"}, "usage: veldir delete NAME"},
        {{"--timelimit", "soon", "search"}, "--timelimit needs a whole number"},
        {{"--deadline", "-3", "search"}, "--deadline needs a number of seconds"},
        {{"search", "--init"}, "--init needs a value"},
        {{"help", "nonsense"}, "no help on \"nonsense\""},
    };
    for (const auto &c : cases) {
        const ToolResult result = run_veldir(c.arguments);
        EXPECT_EQ(result.exit_code, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
}

TEST(VeldirCommandLine, HelpCoversEveryCommandAndTopic) {
    const ToolResult overview = run_veldir({"--help"});
    ASSERT_EQ(overview.exit_code, 0);
    std::vector<std::string> topics{"attributes", "config", "exit-codes"};
    std::istringstream lines(overview.out.substr(overview.out.find("Commands:")));
    std::string line;
    const std::regex command_line("^  ([a-z]+)( |$).*");
    std::smatch match;
    while (std::getline(lines, line) && !line.empty())
        if (std::regex_match(line, match, command_line)) topics.push_back(match[1]);
    ASSERT_GE(topics.size(), 3u + 11u);
    for (const std::string &topic : topics) {
        const ToolResult help = run_veldir({"help", topic});
        EXPECT_EQ(help.exit_code, 0) << topic;
        EXPECT_GT(help.out.size(), 100u) << topic;
    }
    // "COMMAND --help" is the same as "help COMMAND".
    EXPECT_EQ(run_veldir({"read", "--help"}).out, run_veldir({"help", "read"}).out);
    EXPECT_NE(run_veldir({"help", "attributes"}).out.find("velmorJdbcDataSourceInterface"), std::string::npos);
}

TEST(VeldirCommandLine, ValuesAreCheckedBeforeAnythingIsSent) {
    const struct {
        std::vector<std::string> assignments;
        std::string message;
    } cases[] = {
        {{"velmorVersion=12x"}, "velmorVersion: a decimal integer"},
        {{"velmorStatus=99999999999"}, "velmorStatus: a decimal integer"},
        {{"velmorAddress=tcp 5000"}, "TYPE#ACCESS#ADDRESS"},
        {{"velmorAddress=tcp#x#h 1"}, "access type"},
        {{"velmorAddress=tcp#0#a#b"}, "must not contain #"},
        {{"velmorSecurity=not-an-oid"}, "dotted-decimal OID"},
        {{"velmorColour=blue"}, "unknown attribute \"velmorColour\""},
        {{"velmorVersion"}, "is not of the form attribute=value"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> arguments{"--init", kNowhere, "add", "srv1"};
        arguments.insert(arguments.end(), c.assignments.begin(), c.assignments.end());
        const ToolResult result = run_veldir(arguments);
        EXPECT_EQ(result.exit_code, 2) << c.message << "\n" << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

TEST(VeldirCommandLine, UnreachableServerIsAConnectionErrorWithAHint) {
    const ToolResult result = run_veldir({"--init", kNowhere, "search"});
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_NE(result.err.find("bind failed: DLDAP_ERR_BIND (10)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("LDAP -1 LDAP_SERVER_DOWN: Can't contact LDAP server"), std::string::npos);
    EXPECT_NE(result.err.find("hint: the server is not reachable"), std::string::npos);

    const ToolResult json = run_veldir({"--json", "--init", kNowhere, "read", "srv1"});
    EXPECT_EQ(json.exit_code, 3);
    EXPECT_NE(json.out.find("\"code\": \"DLDAP_ERR_BIND\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"oserr\": -1"), std::string::npos);
}

TEST(VeldirCommandLine, DeadlineEndsARunThatWaitsTooLong) {
    // Opening a FIFO without a writer blocks, outside any driver call.
    ASSERT_EQ(::mkfifo("never-written", 0600), 0);
    const ToolResult result = run_veldir({"--deadline", "0.3", "import", "never-written"});
    EXPECT_EQ(result.exit_code, 5);
    EXPECT_NE(result.err.find("the deadline passed"), std::string::npos) << result.err;
}

}  // namespace
