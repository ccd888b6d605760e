// veldir against a real slapd: listings in every format and on a terminal,
// names of any form, and the directory's refusals explained.
#include <algorithm>
#include <sstream>

#include "json_writer.h"
#include "terminal_text.h"
#include "tool/tool_directory.h"

namespace {

using VeldirDirectory = ToolDirectoryTest;

const JsonValue &entry_named(const JsonValue &listing, const std::string &name) {
    for (const JsonValue &entry : listing.member("entries")->items)
        if (entry.member("name")->text == name) return entry;
    ADD_FAILURE() << "no entry " << name;
    return listing;
}

TEST_F(VeldirDirectory, ListsEntriesAsTableJsonAndLdif) {
    const ToolResult table = veldir({"search"});
    ASSERT_EQ(table.exit_code, 0) << table.err;
    EXPECT_THAT(table.out, HasSubstr("velmorServername  velmorVersion  velmorService  velmorStatus  velmorAddress"));
    EXPECT_THAT(table.out, HasSubstr("TCP#0#beta.example 5100; tcp#1#beta.example 5101 ssl"));
    EXPECT_THAT(table.out, HasSubstr("3 entries"));

    const JsonValue listing = json_of(veldir({"--json", "search"}));
    EXPECT_EQ(listing.member("count")->text, "3");
    const JsonValue &gamma = entry_named(listing, "gamma");
    EXPECT_EQ(gamma.member("dn")->text, "velmorServername=gamma,ou=servers,o=acme");
    const JsonValue &status = gamma.member("attributes")->member("velmorStatus")->items.at(0);
    EXPECT_EQ(status.kind, JsonValue::Kind::number);
    EXPECT_EQ(status.text, "-1");
    EXPECT_EQ(entry_named(listing, "beta").member("attributes")->member("velmorAddress")->items.size(), 2u);

    EXPECT_EQ(veldir({"--ldif", "read", "beta"}).out,
              "dn: velmorServername=beta,ou=servers,o=acme\nobjectClass: velmorServer\nvelmorServername: beta\n"
              "velmorService: billing\nvelmorAddress: TCP#0#beta.example 5100\n"
              "velmorAddress: tcp#1#beta.example 5101 ssl\n\n");
    // Named by a DN in any spelling; one value a line.
    EXPECT_THAT(veldir({"read", "VELMORSERVERNAME=beta, OU=servers,o=acme"}).out,
                HasSubstr("velmorAddress     TCP#0#beta.example 5100\n                  tcp#1#beta.example 5101 ssl"));

    // An empty base is an answer, not a failure.
    const ToolResult empty = veldir({"--base", "ou=other,o=acme", "search"});
    EXPECT_EQ(empty.exit_code, 0) << empty.err;
    EXPECT_THAT(empty.out, HasSubstr("no server entries"));
}

// The lines a terminal showed, without the terminal's carriage returns.
std::vector<std::string> screen_lines(const std::string &shown) {
    std::vector<std::string> lines;
    std::istringstream text(shown);
    for (std::string line; std::getline(text, line);) {
        if (line.ends_with('\r')) line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST_F(VeldirDirectory, ListingFitsTheTerminalAndNeverPassesControlCharacters) {
    const std::string long_value(300, 'p');
    ASSERT_EQ(veldir({"add", "evil", "velmorService=\x1B[31mred\x1B[0m", "velmorJcourierProperty=" + long_value})
                  .exit_code, 0);
    const veldldap::ProgramOptions screen{.terminal = veldldap::TerminalSize{80, 24}, .output_on_terminal = true};

    const ToolResult fitted = veldir({"search"}, screen);
    ASSERT_EQ(fitted.exit_code, 0) << fitted.err;
    for (const std::string &line : screen_lines(fitted.err)) EXPECT_LE(display_width(line), 80u) << line;
    EXPECT_THAT(fitted.err, HasSubstr("\\e[31mred"));
    EXPECT_THAT(fitted.err, HasSubstr("\xE2\x80\xA6")) << "values cut with an ellipsis";

    // A pipe gets whole values; LDIF carries the control characters in base64.
    const ToolResult piped = veldir({"search"});
    EXPECT_THAT(piped.out, HasSubstr(long_value));
    EXPECT_THAT(piped.out, HasSubstr("\\e[31mred\\e[0m"));
    EXPECT_THAT(veldir({"--ldif", "read", "evil"}).out, HasSubstr("velmorService:: "));
    const ToolResult refused = veldir({"read", "no\x1B]0;title\a"});
    EXPECT_THAT(refused.err, HasSubstr("read no\\e]0;title\\a failed"));
    for (const std::string &shown : {fitted.err, piped.out, refused.err})
        EXPECT_EQ(shown.find_first_of("\x1B\a"), std::string::npos) << shown;

    // Columns picked, entries narrowed by a condition, values whole on request.
    const ToolResult picked = veldir(
        {"--columns", "velmorservername,velmorJcourierProperty", "--wide", "search", "velmorServername=E*"}, screen);
    EXPECT_EQ(screen_lines(picked.err), (std::vector<std::string>{"velmorServername  velmorJcourierProperty",
                                                                  "evil              " + long_value, "1 entry"}));
    // A read by name is a filter of the driver's, where "*" is a wildcard too.
    EXPECT_THAT(veldir({"read", "E*"}).out, HasSubstr("velmorServername=evil,ou=servers"));
}

TEST_F(VeldirDirectory, AnyServerNameIsOneEntryDirectlyBelowTheBase) {
    const std::string names[] = {"#hash+\"q\";<g>\\ ", " lead", "child,velmorServername=srv2", "\xC3\xBC" "ber"};
    for (const std::string &name : names) {
        const ToolResult added = veldir({"add", name, "velmorVersion=1"});
        EXPECT_EQ(added.exit_code, 0) << name << ": " << added.err;
        EXPECT_EQ(added.out, "added " + name + "\n");
        EXPECT_THAT(veldir({"--json", "read", name}).out, HasSubstr("\"name\": " + json_quote(name)));
    }
    const std::string listing = server->ldapsearch_output(server->servers_base(), "one", "(objectClass=*)", {"1.1"});
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n') / 2, 3 + std::size(names)) << listing;
    for (const std::string &name : names) EXPECT_EQ(veldir({"delete", name}).exit_code, 0) << name;

    // Made by another tool, deleted by its name.
    server->add_ldif("dn: velmorServername=com\\,ma,ou=servers,o=acme\nobjectClass: velmorServer\n"
                     "velmorServername: com,ma\n\n"
                     "dn: velmorServername=plant,ou=servers,o=acme\nobjectClass: velmorServer\n"
                     "velmorServername: plant\nvelmorServername: alpha\n");
    EXPECT_EQ(veldir({"delete", "com,ma"}).exit_code, 0);
    // A second entry that carries the name as a further value answers too: veldir says so.
    const ToolResult alpha = veldir({"--json", "read", "alpha"});
    EXPECT_THAT(alpha.out, HasSubstr("\"count\": 2,"));
    EXPECT_THAT(alpha.err, HasSubstr("warning: 2 entries answer to the name alpha"));

    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } refused[] = {
        {{"add", "t1", "velmorServername=other"}, "velmorServername \"other\" differs from the entry's name \"t1\""},
        {{"read", std::string(600, 'n')}, "bytes; the driver takes at most 512"},
        {{"delete", std::string(600, 'n')}, "bytes; the driver takes at most 512"},
        {{"read", "velmorServername=a+cn=b,o=acme"}, "must be velmorServername=NAME alone"},
    };
    for (const auto &c : refused) {
        EXPECT_TRUE(exits_with(veldir(c.arguments), 2, c.message));
    }
}

// Each failure in words with its hint, and as JSON with the driver's code.
TEST_F(VeldirDirectory, MissingEntriesAndDirectoryRefusalsAreExplainedOperationFailures) {
    const struct {
        std::vector<std::string> arguments;
        std::string code;
        std::string hint;
    } cases[] = {
        {{"read", "nosuch"}, "read nosuch failed: DLDAP_ERR_NOENTRY (7) - no entry was found", ""},
        {{"delete", "nosuch"}, "DLDAP_ERR_DELETE (14)", ""},
        {{"--base", "ou=nowhere,o=acme", "search"}, "LDAP 32 noSuchObject", "the search base does not exist"},
        {{"add", "alpha"}, "LDAP 68 entryAlreadyExists", "use modify"},
        {{"modify", "nosuch", "velmorStatus=1"}, "LDAP 32 noSuchObject", "does not exist"},
        {{"modify", "alpha", "velmorServername=omega"}, "DLDAP_ERR_UPDATE (13)", "hint:"},
    };
    for (const auto &c : cases) {
        const ToolResult result = veldir(c.arguments);
        EXPECT_TRUE(exits_with(result, 1, c.code));
        EXPECT_THAT(result.err, HasSubstr(c.hint));

        std::vector<std::string> arguments{"--json"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const JsonValue report = json_of(veldir(arguments));
        EXPECT_FALSE(report.member("ok")->boolean) << c.code;
        EXPECT_EQ(report.member("exit_code")->text, "1");
        EXPECT_TRUE(report.member("error")->member("code")->text.starts_with("DLDAP_ERR_"));
        EXPECT_FALSE(report.member("error")->member("hint")->text.empty());
    }
}

TEST_F(VeldirDirectory, CheckTimesEachStepOverStartTls) {
    const ToolResult result = veldir({"check"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    for (const char *step : {"load driver", "open", "bind", "search", "unbind", "close"})
        EXPECT_THAT(result.out, HasSubstr(std::string(step) + " "));
    EXPECT_THAT(result.out, HasSubstr("StartTLS, as cn=admin,o=acme"));
    EXPECT_THAT(result.out, HasSubstr("3 server entries below the base"));
    EXPECT_THAT(result.out, HasSubstr("The connection works."));
}

}  // namespace
