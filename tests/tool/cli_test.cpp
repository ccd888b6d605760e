// The command line as a user meets it: mistakes and values refused before
// anything reaches the directory, help, and the generated parts of the docs.
#include <sys/stat.h>

#include <regex>

#include "tool/tool_runner.h"

namespace {

// Nothing listens here: a run that reached the network would fail with 3.
const std::string kNowhere = "ldap://127.0.0.1:9/ou=servers,o=demo????bindname=cn=admin,o=demo?secret";

// Each exits 2 with its message on standard error; asked for JSON, it is a
// JSON failure too, with --json anywhere on the line.
TEST(VeldirCommandLine, MistakesAndBadValuesExitTwoBeforeAnythingIsSent) {
    std::string umlauts;  // 514 bytes: the driver's limits count bytes
    for (int i = 0; i < 257; ++i) umlauts += "\xC3\xBC";
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{}, "no command given"},
        {{"bogus"}, "unknown command \"bogus\""},
        {{"--frobnicate", "search"}, "unknown option \"--frobnicate\""},
        {{"modify", "srv1"}, "usage: veldir modify NAME ATTRIBUTE=VALUE..."},
        {{"delete", "a", "b"}, "usage: veldir delete NAME"},
        {{"--timelimit", "soon", "search"}, "--timelimit needs a whole number"},
        {{"--deadline", "-3", "search"}, "--deadline needs a number of seconds"},
        {{"search", "--base"}, "--base needs a value"},
        {{"--base", "ou=a", "--base=ou=b", "search"}, "--base may be given only once"},
        {{"help", "nonsense"}, "no help on \"nonsense\""},
        {{"--columns", "velmorStatus", "--ldif", "search"}, "--ldif and --columns contradict each other"},
        {{"--columns", "velmorServername,velmorColour", "search"}, "--columns needs attribute names"},
        {{"--server", "389ds", "search"}, "--server applies to demo only"},
        {{"demo", "--replicated", "--server", "389ds"}, "--replicated starts slapd providers"},
        {{"--server", "ldap", "demo"}, "--server needs slapd or 389ds"},
        {{"add", "srv1", "velmorVersion"}, "is not of the form attribute=value"},
        {{"add", "srv1", "velmorColour=blue"}, "unknown attribute \"velmorColour\""},
        {{"add", "srv1", "velmorVersion=12x"}, "velmorVersion: a decimal integer"},
        {{"add", "srv1", "velmorStatus=99999999999"}, "velmorStatus: a decimal integer"},
        {{"add", "srv1", "velmorAddress=tcp#x#h 1"}, "access type"},
        {{"add", "srv1", "velmorSecurity=not-an-oid"}, "dotted-decimal OID"},
        {{"add", "srv1", "velmorService=" + umlauts}, "the value has 514 bytes; the driver stores at most 512 bytes"},
        {{"add", "srv1", "velmorService="}, "an empty value cannot be stored"},
        {{"modify", "srv1", "velmorService="}, "modify cannot remove an attribute"},
        // Escaping control characters in messages keeps a message's own lines.
        {{"import", "bad.ldif"}, "2 problems\n  /"},
    };
    write_file("bad.ldif", "dn: velmorServername=a,o=x\nchangetype: modify\n\nbogus\n");
    for (const auto &c : cases) {
        std::vector<std::string> arguments{"--init", kNowhere};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ToolResult result = run_veldir(arguments);
        EXPECT_TRUE(exits_with(result, 2, c.message));
        EXPECT_EQ(result.out, "");

        arguments.insert(arguments.begin(), "--json");
        const ToolResult json = run_veldir(arguments);
        const JsonValue report = json_of(json);
        EXPECT_FALSE(report.member("ok")->boolean) << c.message;
        EXPECT_EQ(report.member("exit_code")->text, "2");
        EXPECT_THAT(json.err, HasSubstr(report.member("error")->member("message")->text)) << "the words stay there";
    }
    // Reading goes on after a mistake, for a --json further on.
    EXPECT_EQ(json_of(run_veldir({"--frobnicate", "search", "--json"})).member("step")->text, "command line");
    EXPECT_NE(json_of(run_veldir({"--json", "--version"})).member("version"), nullptr);
}

TEST(VeldirCommandLine, HelpCoversEveryCommandAndTopic) {
    const std::string overview = run_veldir({"--help"}).out;
    const std::size_t from = overview.find("Commands:");
    const std::string commands = overview.substr(from, overview.find("\n\n", from) - from);
    std::vector<std::string> topics{"attributes", "config", "exit-codes"};
    const std::regex command_line("\n  ([a-z]+)");
    for (std::sregex_iterator it(commands.begin(), commands.end(), command_line), end; it != end; ++it)
        topics.push_back((*it)[1]);
    ASSERT_GE(topics.size(), 3u + 11u) << overview;
    for (const std::string &topic : topics) {
        const ToolResult help = run_veldir({"help", topic});
        EXPECT_EQ(help.exit_code, 0) << topic;
        EXPECT_GT(help.out.size(), 100u) << topic;
    }
    EXPECT_EQ(run_veldir({"read", "--help"}).out, run_veldir({"help", "read"}).out);
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
    EXPECT_THAT(run_veldir({"docs", "check", "stale.md"}).err, HasSubstr("out of date: exit-codes"));
    ASSERT_EQ(run_veldir({"docs", "update", "stale.md"}).exit_code, 0);
    EXPECT_EQ(run_veldir({"docs", "check", "stale.md"}).exit_code, 0);
    const std::string updated = read_text("stale.md");
    EXPECT_TRUE(updated.starts_with("# Title\n" + begin) && updated.ends_with(end + "by hand\n")) << updated;
    write_file("unended.md", begin + "text\n");
    EXPECT_EQ(run_veldir({"docs", "update", "unended.md"}).exit_code, 2);
}

TEST(VeldirCommandLine, DeadlineEndsARunThatWaitsTooLong) {
    // Opening a FIFO without a writer blocks, outside any driver call.
    ASSERT_EQ(::mkfifo("never-written", 0600), 0);
    EXPECT_TRUE(exits_with(run_veldir({"--deadline", "0.3", "import", "never-written"}), 5, "the deadline passed"));
}

}  // namespace
