// veldir against a real slapd: listings in every format, the lifecycle of an
// entry, and the directory's refusals explained.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "json_reader.h"
#include "json_writer.h"
#include "support/loopback_servers.h"
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
    EXPECT_NE(table.out.find("velmorServername  velmorVersion  velmorService  velmorStatus  velmorAddress"),
              std::string::npos) << table.out;
    EXPECT_NE(table.out.find("TCP#0#beta.example 5100; tcp#1#beta.example 5101 ssl"), std::string::npos);
    EXPECT_NE(table.out.find("3 entries"), std::string::npos);

    const ToolResult json = veldir({"--json", "search"});
    JsonValue listing;
    JsonError error;
    ASSERT_TRUE(parse_json(json.out, listing, error)) << error.message << "\n" << json.out;
    EXPECT_EQ(listing.member("count")->text, "3");
    const JsonValue &gamma = entry_named(listing, "gamma");
    EXPECT_EQ(gamma.member("dn")->text, "velmorServername=gamma,ou=servers,o=acme");
    const JsonValue *status = gamma.member("attributes")->member("velmorStatus");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->items.at(0).kind, JsonValue::Kind::number);
    EXPECT_EQ(status->items.at(0).text, "-1");
    EXPECT_EQ(entry_named(listing, "beta").member("attributes")->member("velmorAddress")->items.size(), 2u);

    const ToolResult ldif = veldir({"--ldif", "read", "beta"});
    EXPECT_EQ(ldif.out,
              "dn: velmorServername=beta,ou=servers,o=acme\nobjectClass: velmorServer\nvelmorServername: beta\n"
              "velmorService: billing\nvelmorAddress: TCP#0#beta.example 5100\n"
              "velmorAddress: tcp#1#beta.example 5101 ssl\n\n");

    // An empty base is an answer, not a failure.
    const ToolResult empty = veldir({"--base", "ou=other,o=acme", "search"});
    EXPECT_EQ(empty.exit_code, 0) << empty.err;
    EXPECT_NE(empty.out.find("no server entries"), std::string::npos);
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
    EXPECT_NE(fitted.err.find("\\e[31mred"), std::string::npos) << fitted.err;
    EXPECT_NE(fitted.err.find("\xE2\x80\xA6"), std::string::npos) << "values cut with an ellipsis";
    EXPECT_NE(fitted.err.find("4 entries"), std::string::npos);

    // A pipe gets whole values; LDIF carries the control characters in base64.
    const ToolResult piped = veldir({"search"});
    EXPECT_NE(piped.out.find(long_value), std::string::npos);
    EXPECT_NE(piped.out.find("\\e[31mred\\e[0m"), std::string::npos) << piped.out;
    EXPECT_NE(veldir({"--ldif", "read", "evil"}).out.find("velmorService:: "), std::string::npos);
    const ToolResult refused = veldir({"read", "no\x1B]0;title\a"});
    EXPECT_NE(refused.err.find("read no\\e]0;title\\a failed"), std::string::npos) << refused.err;
    for (const std::string &shown : {fitted.err, piped.out, refused.err})
        EXPECT_EQ(shown.find_first_of("\x1B\a"), std::string::npos) << shown;

    // Columns picked, entries narrowed by a condition, values whole on request.
    const ToolResult picked = veldir(
        {"--columns", "velmorservername,velmorJcourierProperty", "--wide", "search", "velmorServername=E*"}, screen);
    EXPECT_EQ(screen_lines(picked.err), (std::vector<std::string>{"velmorServername  velmorJcourierProperty",
                                                                  "evil              " + long_value, "1 entry"}));
    // A read by name is a filter of the driver's, where "*" is a wildcard too.
    const ToolResult wild = veldir({"read", "E*"});
    EXPECT_NE(wild.out.find("velmorServername=evil,ou=servers"), std::string::npos) << wild.out << wild.err;
}

TEST_F(VeldirDirectory, JsonFailuresAreValidJsonWithTheDriversReport) {
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"--json", "read", "nosuch"}, {"--json", "add", "alpha"}, {"--json", "delete", "nosuch"}}) {
        const ToolResult result = veldir(arguments);
        JsonValue report;
        JsonError error;
        ASSERT_TRUE(parse_json(result.out, report, error)) << error.message << "\n" << result.out;
        EXPECT_EQ(report.member("ok")->kind, JsonValue::Kind::boolean);
        EXPECT_FALSE(report.member("ok")->boolean);
        EXPECT_EQ(report.member("exit_code")->text, std::to_string(result.exit_code));
        const JsonValue *details = report.member("error");
        ASSERT_NE(details, nullptr);
        EXPECT_EQ(details->member("code")->text.rfind("DLDAP_ERR_", 0), 0u) << result.out;
        EXPECT_FALSE(details->member("hint")->text.empty());
    }
}

TEST_F(VeldirDirectory, WrongPasswordIsAConfigurationErrorWithAHint) {
    const ToolResult result = run_veldir({"--init", init("wrong"), "--ca", server->ca_file(), "search"});
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_NE(result.err.find("DLDAP_ERR_BIND (10)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("LDAP 49 invalidCredentials"), std::string::npos);
    EXPECT_NE(result.err.find("hint: wrong bind DN or password"), std::string::npos);
}

TEST_F(VeldirDirectory, EncipheredPasswordBinds) {
    const ToolResult enciphered = run_veldir({"encipher", "--stdin"}, {.input = server->admin_password() + "\n"});
    ASSERT_EQ(enciphered.exit_code, 0) << enciphered.err;
    ASSERT_EQ(enciphered.out.size(), 71u) << enciphered.out;
    const std::string text = enciphered.out.substr(0, 70);
    const ToolResult result = run_veldir({"--init", init(text), "--ca", server->ca_file(), "search"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(run_veldir({"encipher", "secret"}).exit_code, 1) << "never from the command line";
}

TEST_F(VeldirDirectory, EntryLifecycleWithSeveralValues) {
    ToolResult result = veldir({"add", "srv9", "velmorVersion=4", "velmorAddress=tcp#0#h9 9000",
                                "velmoraddress=ipx#2#net 1", "velmorSecurity=1.3.6.1.4.1.32473.9"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "added srv9\n");

    result = veldir({"read", "velmorservername=srv9, ou=servers,o=acme"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("velmorServername  srv9"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("velmorAddress     TCP#0#h9 9000\n                  ipx#2#net 1"), std::string::npos);
    EXPECT_NE(result.out.find("velmorSecurity    1.3.6.1.4.1.32473.9"), std::string::npos);

    result = veldir({"modify", "srv9", "velmorAddress=tcp#1#h9 9001 ssl", "velmorStatus=2"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    result = veldir({"--ldif", "read", "srv9"});
    EXPECT_NE(result.out.find("velmorAddress: tcp#1#h9 9001 ssl\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("ipx#2"), std::string::npos);
    EXPECT_NE(result.out.find("velmorVersion: 4\n"), std::string::npos);

    result = veldir({"delete", "srv9"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(veldir({"read", "srv9"}).exit_code, 1);
    result = veldir({"delete", "srv9"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("DLDAP_ERR_DELETE (14)"), std::string::npos) << result.err;
}

TEST_F(VeldirDirectory, AnyServerNameIsOneEntryDirectlyBelowTheBase) {
    const std::string names[] = {"com,ma", " lead", "trail ", "a+b", "q\"x", "#hash", "semi;c", "l<g>", "back\\s",
                                 "child,velmorServername=srv2", "\xC3\xBC" "ber"};
    for (const std::string &name : names) {
        const ToolResult added = veldir({"add", name, "velmorVersion=1"});
        EXPECT_EQ(added.exit_code, 0) << name << ": " << added.err;
        EXPECT_EQ(added.out, "added " + name + "\n");
        const ToolResult read = veldir({"--json", "read", name});
        EXPECT_NE(read.out.find("\"name\": " + json_quote(name)), std::string::npos) << read.out;
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
    EXPECT_NE(alpha.out.find("\"count\": 2,"), std::string::npos) << alpha.out;
    EXPECT_NE(alpha.err.find("warning: 2 entries answer to the name alpha"), std::string::npos) << alpha.err;

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
        const ToolResult result = veldir(c.arguments);
        EXPECT_EQ(result.exit_code, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

TEST_F(VeldirDirectory, MissingEntriesAndDirectoryRefusalsAreExplainedOperationFailures) {
    const struct {
        std::vector<std::string> arguments;
        std::string code;
        std::string hint;
    } cases[] = {
        {{"read", "nosuch"}, "read nosuch failed: DLDAP_ERR_NOENTRY (7) - no entry was found", ""},
        {{"--base", "ou=nowhere,o=acme", "search"}, "LDAP 32 noSuchObject", "the search base does not exist"},
        {{"add", "alpha"}, "LDAP 68 entryAlreadyExists", "use modify"},
        {{"modify", "nosuch", "velmorStatus=1"}, "LDAP 32 noSuchObject", "does not exist"},
        {{"modify", "alpha", "velmorServername=omega"}, "DLDAP_ERR_UPDATE (13)", "hint:"},
    };
    for (const auto &c : cases) {
        const ToolResult result = veldir(c.arguments);
        EXPECT_EQ(result.exit_code, 1) << c.code;
        EXPECT_NE(result.err.find(c.code), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.hint), std::string::npos) << result.err;
    }
}

TEST_F(VeldirDirectory, CheckTimesEachStepOverStartTls) {
    const ToolResult result = veldir({"check"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    for (const char *step : {"load driver", "open", "bind", "search", "unbind", "close"})
        EXPECT_NE(result.out.find(std::string(step) + " "), std::string::npos) << step;
    EXPECT_NE(result.out.find("StartTLS, as cn=admin,o=acme"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("3 server entries below the base"), std::string::npos);
    EXPECT_NE(result.out.find("The connection works."), std::string::npos);

    // A CA that did not sign the server's certificate fails the handshake.
    const ToolResult untrusted = run_veldir({"--init", init(), "--ca", server->wrong_ca_file(), "check"});
    EXPECT_EQ(untrusted.exit_code, 3);
    EXPECT_NE(untrusted.out.find("bind failed: DLDAP_ERR_"), std::string::npos) << untrusted.out;
    EXPECT_NE(untrusted.out.find("hint:"), std::string::npos);
}

TEST(VeldirTimeLimit, SilentServerTimesOutWithinTheLimit) {
    LoopbackServer silent(LoopbackBehaviour::silent);
    // A deadline further off than the limit leaves the limit in charge.
    const ToolResult result =
        run_veldir({"--deadline", "30", "--timelimit", "1", "--init", silent.url() + "/o=acme", "search"});
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_NE(result.err.find("DLDAP_ERR_TIMEOUT (16)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("--timelimit"), std::string::npos);
}

}  // namespace
