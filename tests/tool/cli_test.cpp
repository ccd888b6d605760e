// The command line as a user meets it: mistakes, help, and values checked
// before anything reaches the directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "json_reader.h"
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
        {{"--base", "ou=a", "--base=ou=b", "search"}, "--base may be given only once"},
        {{"help", "nonsense"}, "no help on \"nonsense\""},
        {{"--columns", "velmorStatus", "--ldif", "search"}, "--ldif and --columns contradict each other"},
        {{"--wide", "--ldif", "search"}, "--ldif and --wide contradict each other"},
        {{"--columns", "velmorServername,velmorColour", "search"}, "--columns needs attribute names"},
        {{"--columns", "velmorServername", "read", "srv1"}, "--columns applies to search only"},
        {{"--server", "389ds", "search"}, "--server applies to demo only"},
        {{"--server", "ldap", "demo"}, "--server needs slapd or 389ds"},
        {{"search", "velmorService"}, "is not of the form attribute=value"},
        // Escaping control characters in messages keeps a message's own lines.
        {{"--init", kNowhere, "import", "bad.ldif"}, "2 problems\n  /"},
    };
    write_file("bad.ldif", "dn: velmorServername=a,o=x\nchangetype: modify\n\nbogus\n");
    for (const auto &c : cases) {
        const ToolResult result = run_veldir(c.arguments);
        EXPECT_EQ(result.exit_code, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
}

TEST(VeldirCommandLine, UsageErrorsAreJsonWhereverJsonIsAskedFor) {
    const struct {
        std::vector<std::string> arguments;
        std::string step;
        std::string message;
    } cases[] = {
        {{"--json", "--frobnicate", "search"}, "command line", "unknown option \"--frobnicate\""},
        {{"--frobnicate", "search", "--json"}, "command line", "unknown option \"--frobnicate\""},
        {{"--json", "--ldif", "search"}, "command line", "contradict each other"},
        {{"--json", "bogus"}, "command line", "unknown command \"bogus\""},
        {{"--json", "help", "nonsense"}, "command line", "no help on \"nonsense\""},
        {{"--json", "--init", kNowhere, "search", "velmorColour=blue"}, "search", "unknown attribute"},
    };
    for (const auto &c : cases) {
        const ToolResult result = run_veldir(c.arguments);
        EXPECT_EQ(result.exit_code, 2) << c.message;
        JsonValue report;
        JsonError error;
        ASSERT_TRUE(parse_json(result.out, report, error)) << error.message << "\n" << result.out;
        EXPECT_FALSE(report.member("ok")->boolean);
        EXPECT_EQ(report.member("step")->text, c.step);
        EXPECT_EQ(report.member("exit_code")->text, "2");
        EXPECT_NE(report.member("error")->member("message")->text.find(c.message), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << "the words stay on standard error";
    }
    const ToolResult version = run_veldir({"--json", "--version"});
    JsonValue report;
    JsonError error;
    ASSERT_TRUE(parse_json(version.out, report, error)) << version.out;
    EXPECT_NE(report.member("version"), nullptr);
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

// The man page, the README and the veldir manual are written by hand around
// parts that veldir writes from its tables; a table changed without "veldir docs update" fails here.
TEST(VeldirCommandLine, ManPageAndReadmeSayWhatVeldirSays) {
    const std::string source = VELDLDAP_SOURCE_DIR;
    const ToolResult committed = run_veldir(
        {"docs", "check", source + "/tools/veldir/veldir.1", source + "/README.md", source + "/docs/veldir.md"});
    EXPECT_EQ(committed.exit_code, 0) << committed.err << "rewrite them: cmake --build BUILD --target veldir_docs";

    const std::string begin = "<!-- generated by \"veldir docs update\": exit-codes -->\n";
    const std::string end = "<!-- end of generated part -->\n";
    write_file("stale.md", "# Title\n" + begin + "| 0 | fine |\n" + end + "by hand\n");
    const ToolResult stale = run_veldir({"docs", "check", "stale.md"});
    EXPECT_EQ(stale.exit_code, 1);
    EXPECT_NE(stale.err.find("out of date: exit-codes"), std::string::npos) << stale.err;

    ASSERT_EQ(run_veldir({"docs", "update", "stale.md"}).exit_code, 0);
    EXPECT_EQ(run_veldir({"docs", "check", "stale.md"}).exit_code, 0);
    std::ifstream updated("stale.md");
    const std::string text{std::istreambuf_iterator<char>(updated), {}};
    EXPECT_EQ(text.rfind("# Title\n" + begin + "| Code | Meaning |\n", 0), 0u) << text;
    EXPECT_NE(text.find("| 5 | the --deadline passed |\n"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(end + "by hand\n")) << text;

    write_file("unended.md", begin + "text\n");
    EXPECT_EQ(run_veldir({"docs", "update", "unended.md"}).exit_code, 2);
}

TEST(VeldirCommandLine, ValuesAreCheckedBeforeAnythingIsSent) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"add", "srv1", "velmorVersion=12x"}, "velmorVersion: a decimal integer"},
        {{"add", "srv1", "velmorStatus=99999999999"}, "velmorStatus: a decimal integer"},
        {{"add", "srv1", "velmorAddress=tcp 5000"}, "TYPE#ACCESS#ADDRESS"},
        {{"add", "srv1", "velmorAddress=tcp#x#h 1"}, "access type"},
        {{"add", "srv1", "velmorAddress=tcp#0#a#b"}, "must not contain #"},
        {{"add", "srv1", "velmorSecurity=not-an-oid"}, "dotted-decimal OID"},
        {{"add", "srv1", "velmorColour=blue"}, "unknown attribute \"velmorColour\""},
        {{"add", "srv1", "velmorVersion"}, "is not of the form attribute=value"},
        // The driver's limits are bytes: 257 times "\xC3\xBC" is 514 of them.
        {{"add", "srv1", "velmorService=" + [] {
              std::string text;
              for (int i = 0; i < 257; ++i) text += "\xC3\xBC";
              return text;
          }()},
         "velmorService: the value has 514 bytes; the driver stores at most 512 bytes"},
        {{"add", "srv1", "velmorService="}, "an empty value cannot be stored"},
        {{"modify", "srv1", "velmorService="}, "modify cannot remove an attribute, because a modify always sends"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> arguments{"--init", kNowhere};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
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
    EXPECT_NE(result.err.find("hint: the server is unreachable: connecting to 127.0.0.1:9 fails"), std::string::npos);

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
