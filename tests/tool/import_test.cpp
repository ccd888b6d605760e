// import: files of many entries, the directory's refusals summarised, and
// malformed files refused whole before anything is sent.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool/tool_directory.h"

namespace {

using VeldirImport = ToolDirectoryTest;

TEST_F(VeldirImport, LdifEntriesAreAddedAndRefusalsSummarised) {
    write_file("servers.ldif",
               "version: 1\n"
               "# three servers, one of them there already\n"
               "dn: velmorServername=one,ou=servers,o=acme\n"
               "objectClass: velmorServer\n"
               "velmorVersion: 1\n"
               "velmorAddress: tcp#0#one.example\n"
               "  5000\n"
               "\n"
               "dn: velmorServername=alpha,ou=servers,o=acme\n"
               "velmorVersion: 9\n"
               "\n"
               "dn: VELMORSERVERNAME=two,ou=servers,o=acme\n"
               "changetype: add\n"
               "velmorService:: cmVwb3J0cyDDpCDDtg==\n");
    const ToolResult result = veldir({"import", "servers.ldif"});
    EXPECT_EQ(result.exit_code, 1) << result.err;
    // File names count from where veldir was started; messages give them whole.
    EXPECT_NE(result.out.find("imported 2 of 3 entries from " + std::filesystem::absolute("servers.ldif").string() +
                              " (LDIF)"),
              std::string::npos) << result.out;
    EXPECT_NE(result.out.find("line 9: add velmorServername=alpha,ou=servers,o=acme failed: DLDAP_ERR_UPDATE (13)"),
              std::string::npos) << result.out;
    EXPECT_NE(result.out.find("LDAP 68 entryAlreadyExists"), std::string::npos);

    const ToolResult one = veldir({"--ldif", "read", "one"});
    EXPECT_NE(one.out.find("velmorAddress: TCP#0#one.example 5000\n"), std::string::npos) << one.out;
    const ToolResult two = veldir({"--json", "read", "two"});
    EXPECT_NE(two.out.find("\"reports \xC3\xA4 \xC3\xB6\""), std::string::npos) << two.out;
}

TEST_F(VeldirImport, SearchJsonImportsIntoAnotherBase) {
    const ToolResult listing = veldir({"--json", "search"});
    ASSERT_EQ(listing.exit_code, 0);
    write_file("copy.json", listing.out);
    const ToolResult imported = veldir({"--base", "ou=other,o=acme", "--json", "import", "copy.json"});
    ASSERT_EQ(imported.exit_code, 0) << imported.out << imported.err;
    EXPECT_NE(imported.out.find("\"added\": 3"), std::string::npos) << imported.out;

    const ToolResult copy = veldir({"--base", "ou=other,o=acme", "--ldif", "search"});
    const ToolResult original = veldir({"--ldif", "search"});
    std::string expected = original.out;
    for (std::size_t at; (at = expected.find("ou=servers")) != std::string::npos;) expected.replace(at, 10, "ou=other");
    EXPECT_EQ(copy.out, expected);
}

TEST_F(VeldirImport, MalformedFilesAddNothing) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"{\"entries\": [\n  {\"name\": \"x1\",\n   \"attributes\": {\"velmorVersion\": 1,}}]}", "bad:3: column 38: expected a quoted member name"},
        {"[{\"name\": \"x1\"}, {\"attributes\": {}}]", "bad:1: an entry needs \"name\""},
        {"[{\"name\": \"x1\", \"attributes\": {\"velmorVersion\": [1.5]}}]", "a value must be a string or an integer"},
        {"[{\"name\": \"x1\", \"attribute\": {}}]", "unknown member \"attribute\""},
        {"[\"x1\"]", "an entry must be an object, not a string"},
        {"[{\"name\": \"x1\", \"attributes\": {\"velmorStatus\": \"up\"}}]", "x1: velmorStatus: a decimal integer"},
        {"dn: velmorServername=x1,ou=servers,o=acme\nvelmorColour: red\n", "bad:1: velmorServername=x1,ou=servers,o=acme: unknown attribute"},
        {"dn: velmorServername=x1,o=acme\nvelmorService:: %%%\n", "bad:2: the value of velmorService is not valid base64"},
        {"dn: velmorServername=x1,o=acme\nchangetype: delete\n", "only entries to add"},
        {"dn: cn=x1,o=acme\nvelmorVersion: 1\n", "neither a server name nor a DN"},
        {"velmorVersion: 1\n", "a record must begin with \"dn:\""},
        {"\n# nothing\n", "the file holds no entries"},
    };
    for (const auto &c : cases) {
        write_file("bad", c.text);
        const ToolResult result = veldir({"import", "bad"});
        EXPECT_EQ(result.exit_code, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.message << "\n" << result.err;
        EXPECT_NE(result.err.find("nothing was added"), std::string::npos);
    }
    EXPECT_NE(veldir({"search"}).out.find("3 entries"), std::string::npos);
    const ToolResult unreadable = veldir({"import", "no-such-file"});
    EXPECT_EQ(unreadable.exit_code, 2);
    EXPECT_NE(unreadable.err.find("cannot read " + std::filesystem::absolute("no-such-file").string()),
              std::string::npos);
}

TEST_F(VeldirImport, StandardInputAndNoProgressBarOffTerminal) {
    const ToolResult result =
        veldir({"import", "-"}, {.input = R"([{"name": "piped", "attributes": {"velmorVersion": "7"}}])"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err.find('\r'), std::string::npos) << "no progress bar into a pipe";
    EXPECT_NE(veldir({"--ldif", "read", "piped"}).out.find("velmorVersion: 7\n"), std::string::npos);
}

TEST_F(VeldirImport, ProgressBarOnATerminal) {
    std::string ldif;
    for (int i = 0; i < 40; ++i)
        ldif += "dn: velmorServername=bulk" + std::to_string(i) + ",ou=servers,o=acme\nvelmorVersion: 1\n\n";
    write_file("bulk.ldif", ldif);
    const ToolResult result = veldir({"import", "bulk.ldif"}, {.terminal = kTerminal});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("\r[#"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("40/40  done"), std::string::npos);
    EXPECT_EQ(result.out,
              "imported 40 of 40 entries from " + std::filesystem::absolute("bulk.ldif").string() + " (LDIF)\n");
    EXPECT_NE(veldir({"search"}).out.find("43 entries"), std::string::npos);

    const ToolResult quiet = veldir({"--no-progress", "import", "bulk.ldif"}, {.terminal = kTerminal});
    EXPECT_EQ(quiet.err.find('['), std::string::npos) << quiet.err;
    EXPECT_EQ(quiet.exit_code, 1);
}

}  // namespace
