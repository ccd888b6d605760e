// import against a real slapd: copies between bases, exact accounting when
// the server goes away, existing entries and duplicates, the check pass's
// problems, values the driver cannot hold whole, and file arguments.
#include <filesystem>
#include <set>
#include <thread>

#include "step_timer.h"
#include "tool/tool_directory.h"

namespace {

class VeldirImport : public ToolDirectoryTest {
protected:
    // The server names below a base, as veldir lists them.
    std::set<std::string> names_below(const std::string &base = "ou=servers,o=acme") {
        std::set<std::string> names;
        const JsonValue listing = json_of(veldir({"--base", base, "--json", "search"}));
        if (const JsonValue *entries = listing.member("entries"))
            for (const JsonValue &entry : entries->items) names.insert(entry.member("name")->text);
        return names;
    }
};

std::string server_records(int count, const std::string &prefix) {
    std::string ldif;
    for (int i = 0; i < count; ++i)
        ldif += "dn: velmorServername=" + prefix + std::to_string(i) + ",ou=servers,o=acme\nvelmorVersion: 1\n\n";
    return ldif;
}

TEST_F(VeldirImport, ListingsCopyBelowAnotherBase) {
    // The README's recipe, and the same with JSON.
    server->add_ldif("dn: ou=copy,o=acme\nobjectClass: organizationalUnit\nou: copy\n");
    for (const auto &[format, base] : {std::pair("--ldif", "ou=copy,o=acme"), std::pair("--json", "ou=other,o=acme")}) {
        write_file("s.out", veldir({format, "search"}).out);
        const ToolResult imported = veldir({"--base", base, "import", "s.out"});
        EXPECT_EQ(imported.exit_code, 0) << imported.out << imported.err;
        EXPECT_THAT(imported.out, HasSubstr("3 entries: 3 added, 0 skipped, 0 replaced, 0 refused, 0 not tried"));

        std::string expected = veldir({"--ldif", "search"}).out;
        for (std::size_t at; (at = expected.find("ou=servers,o=acme")) != std::string::npos;)
            expected.replace(at, 17, base);
        EXPECT_EQ(veldir({"--base", base, "--ldif", "search"}).out, expected) << format;
    }
}

TEST_F(VeldirImport, LostConnectionLeavesCountsThatMatchTheDirectory) {
    constexpr int kEntries = 4000;
    write_file("bulk.ldif", server_records(kEntries, "bulk"));
    ToolResult result;
    std::thread import([&] { result = veldir({"--jobs", "2", "--json", "import", "bulk.ldif"}); });
    // Stop the server once the import is under way.
    const veldldap::StepTimer timer;
    while (names_below().size() < 10 && timer.milliseconds() < 20000) {
    }
    server->stop();
    import.join();

    EXPECT_TRUE(exits_with(result, 3, "the connection to the directory was lost at line"));
    EXPECT_THAT(result.err, HasSubstr("hint: check that the directory server runs"));
    const JsonValue report = json_of(result);
    const auto count = [&report](const char *outcome) { return std::stol(report.member(outcome)->text); };
    EXPECT_EQ(count("added") + count("not_tried") + count("unknown") + count("refused") + count("skipped"), kEntries);
    EXPECT_GT(count("not_tried"), 0);
    EXPECT_LE(count("unknown"), 2) << "only the entries in flight on the two sessions";
    ASSERT_NE(report.member("connection_lost"), nullptr);

    server->start();
    const std::set<std::string> present = names_below();
    long unknown_present = 0;
    for (const JsonValue &entry : report.member("entries")->member("unknown")->items)
        unknown_present += present.contains(entry.member("name")->text);
    EXPECT_EQ(static_cast<long>(present.size()) - 3, count("added") + unknown_present);
    for (const JsonValue &entry : report.member("entries")->member("not_tried")->items)
        EXPECT_FALSE(present.contains(entry.member("name")->text)) << entry.member("name")->text;
}

TEST_F(VeldirImport, ExistingEntriesAreRefusedSkippedOrReplacedAndDuplicatesAreProblems) {
    write_file("dups.ldif",
               "dn: velmorServername=dup,ou=servers,o=acme\nvelmorVersion: 1\n\n"
               "dn: velmorServername=other,ou=servers,o=acme\nvelmorVersion: 1\n\n"
               "dn: VELMORSERVERNAME=DUP, OU=Servers,o=acme\nvelmorVersion: 2\n");
    EXPECT_TRUE(exits_with(veldir({"import", "dups.ldif"}), 2,
                           "dups.ldif:7: DUP: a second entry velmorServername=DUP,OU=Servers,o=acme (the first is at "
                           "line 1)"));

    // alpha is there already, with velmorVersion 3.
    write_file("again.ldif", "dn: velmorServername=alpha,ou=servers,o=acme\nvelmorVersion: 8\n\n" +
                                 server_records(2, "fresh"));
    const struct {
        std::vector<std::string> options;
        int exit_code;
        std::string summary;
        std::string alpha_version;
    } runs[] = {
        {{"--dry-run"}, 1, "again.ldif (LDIF): 3 entries: 2 would be added, 0 would be skipped, 0 would be replaced, "
                           "1 would be refused, 0 not tried", "3"},
        {{"--existing", "replace", "--dry-run"}, 0, "1 would be replaced", "3"},
        {{}, 1, "2 added, 0 skipped, 0 replaced, 1 refused", "3"},
        {{"--existing", "skip"}, 0, "0 added, 3 skipped", "3"},
        {{"--existing", "replace"}, 0, "0 added, 0 skipped, 3 replaced", "8"},
    };
    for (const auto &run : runs) {
        std::vector<std::string> arguments = run.options;
        arguments.insert(arguments.end(), {"import", "again.ldif"});
        const ToolResult result = veldir(arguments);
        EXPECT_EQ(result.exit_code, run.exit_code) << result.out << result.err;
        EXPECT_THAT(result.out, HasSubstr(run.summary));
        EXPECT_THAT(veldir({"--ldif", "read", "alpha"}).out, HasSubstr("velmorVersion: " + run.alpha_version + "\n"));
        if (run.exit_code == 1) {
            EXPECT_THAT(result.out, HasSubstr("line 1 (alpha): add alpha failed: "));
            EXPECT_THAT(result.out, HasSubstr("hint: the entry exists already: import with --existing skip"));
        }
    }
    const JsonValue report = json_of(veldir({"--json", "import", "again.ldif"}));
    const JsonValue &alpha = report.member("entries")->member("refused")->items.at(0);
    EXPECT_EQ(alpha.member("line")->text, "1");
    EXPECT_THAT(alpha.member("hint")->text, HasSubstr("--existing skip"));
}

TEST_F(VeldirImport, CheckPassNamesEveryProblemAtItsPlaceAndAddsNothing) {
    const struct {
        std::string text;
        std::string problem;
    } cases[] = {
        {"{\"entries\": [\n  {\"name\": \"x1\",\n   \"attributes\": {\"velmorVersion\": 1,}}]}",
         "bad:3:38: expected a quoted member name"},
        {"[{\"name\": \"x1\"}, {\"attributes\": {}}]", "bad:1:18: an entry needs \"dn\" or \"name\""},
        {"[{\"name\": \"x1\", \"attributes\": {\"velmorVersion\": [1.5]}}]", "bad:1:50: x1: velmorVersion: a value must"},
        {"[{\"name\": \"x1\", \"attribute\": {}}]", "bad:1:30: x1: unknown member \"attribute\""},
        {"[\"x1\"]", "bad:1:2: an entry must be an object, not a string"},
        {"dn: velmorServername=x1,ou=servers,o=acme\nvelmorService:: b2v/\n",
         "bad:2: x1: velmorService: the value is not valid UTF-8 (byte 3)"},
        {"dn: velmorServername=x1,o=acme\nvelmorService:: %%%\n", "bad:2: x1: the value of velmorService is not valid base64"},
        {"dn: velmorServername=x1,o=acme\nchangetype: delete\n", "bad:2: x1: only entries to add"},
        {"dn: velmorServername=x1,o=acme\nvelmorServername: x2\n", "bad:2: x1: velmorServername \"x2\" differs"},
        {"velmorVersion: 1\n", "bad:1: a record must begin with \"dn:\""},
        {"dn: velmorServername=" + std::string(500, 'n') + ",ou=servers,o=acme\n", "bytes; the driver takes at most 512"},
        {"\n# nothing\n", "bad: the file holds no entries"},
    };
    for (const auto &c : cases) {
        write_file("bad", c.text);
        const ToolResult result = veldir({"import", "bad"});
        EXPECT_TRUE(exits_with(result, 2, c.problem));
        EXPECT_THAT(result.err, HasSubstr("nothing was added"));
    }
    // Problems in line order, each at its own line, with --json as {line, column, entry, message}.
    write_file("two.ldif", "dn: velmorServername=late,ou=servers,o=acme\nvelmorStatus: x\nvelmorVersion: y\n\n"
                           "dn: velmorServername=ok,ou=servers,o=acme\n\n"
                           "dn: velmorServername=late,ou=servers,o=acme\n");
    const JsonValue report = json_of(veldir({"--json", "import", "two.ldif"}));
    const std::vector<JsonValue> &problems = report.member("problems")->items;
    std::vector<std::string> lines;
    for (const JsonValue &problem : problems) lines.push_back(problem.member("line")->text);
    EXPECT_EQ(lines, (std::vector<std::string>{"2", "3", "7"}));
    EXPECT_EQ(problems.at(0).member("entry")->text, "late");

    // Directories and missing files are usage errors naming the file.
    std::filesystem::create_directory("folder");
    for (const auto &[file, message] : {std::pair("folder", "folder is a directory"),
                                        std::pair("no-such-file", "no-such-file does not exist")}) {
        EXPECT_TRUE(exits_with(veldir({"import", file}), 2, message));
    }
    EXPECT_EQ(names_below().size(), 3u);
}

TEST_F(VeldirImport, ByteOrderMarksStandardInputAndTheProgressBar) {
    const std::string bom = "\xEF\xBB\xBF";
    write_file("bom.ldif", bom + "dn: velmorServername=marked,ou=servers,o=acme\nvelmorVersion: 5\n");
    EXPECT_EQ(veldir({"import", "bom.ldif"}).exit_code, 0);
    const ToolResult piped =
        veldir({"import", "-"}, {.input = bom + R"([{"name": "piped", "attributes": {"velmorVersion": "7"}}])"});
    EXPECT_EQ(piped.exit_code, 0) << piped.err;
    EXPECT_EQ(piped.err.find('\r'), std::string::npos) << "no progress bar into a pipe";
    EXPECT_THAT(veldir({"--ldif", "read", "piped"}).out, HasSubstr("velmorVersion: 7\n"));

    write_file("bulk.ldif", server_records(40, "bulk"));
    const ToolResult shown = veldir({"import", "bulk.ldif"}, {.terminal = kTerminal});
    EXPECT_EQ(shown.exit_code, 0) << shown.err;
    EXPECT_THAT(shown.err, HasSubstr("\r[#"));
    EXPECT_THAT(shown.err, HasSubstr("40/40  done"));
    const ToolResult quiet = veldir({"--no-progress", "--existing", "skip", "import", "bulk.ldif"}, {.terminal = kTerminal});
    EXPECT_EQ(quiet.err.find('['), std::string::npos) << quiet.err;
    EXPECT_EQ(names_below().size(), 45u);
}

TEST_F(VeldirImport, ValuesTheDriverCannotHoldWholeAreFlaggedNotLost) {
    const std::string exact_address = "x#0#" + std::string(511, 'e');  // fills the driver's field exactly
    server->add_ldif("dn: velmorServername=long,ou=other,o=acme\nobjectClass: velmorServer\nvelmorServername: long\n"
                     "velmorAddress: TCP#0#host " + std::string(700, '9') + "\nvelmorService: " +
                     std::string(1000, 's') + "\n\n"
                     "dn: velmorServername=exact,ou=other,o=acme\nobjectClass: velmorServer\n"
                     "velmorServername: exact\nvelmorAddress: " + exact_address + "\n");
    const ToolResult exact = veldir({"--base", "ou=other,o=acme", "--ldif", "read", "exact"});
    EXPECT_EQ(exact.exit_code, 0) << exact.err;
    EXPECT_THAT(exact.out, HasSubstr(exact_address.substr(0, 40)));
    EXPECT_EQ(exact.out.find("cut"), std::string::npos) << exact.out;

    const ToolResult ldif = veldir({"--base", "ou=other,o=acme", "--ldif", "read", "long"});
    EXPECT_TRUE(exits_with(ldif, 6, "value 1 of velmorAddress was cut by the driver"));
    EXPECT_THAT(ldif.out, HasSubstr("# veldir: cut: the driver read only the start of the next value\nvelmorAddress:"));

    const ToolResult json = veldir({"--base", "ou=other,o=acme", "--json", "search"});
    EXPECT_EQ(json.exit_code, 6);
    EXPECT_TRUE(json_of(json).member("incomplete")->boolean);
    // Every value that cannot be copied is named, in bytes.
    for (const auto &[file, text] : {std::pair("long.ldif", ldif.out), std::pair("long.json", json.out)}) {
        write_file(file, text);
        EXPECT_TRUE(exits_with(veldir({"--base", "ou=servers,o=acme", "import", file}), 2,
                               "was cut by the driver when it was read"));
    }
    EXPECT_THAT(veldir({"--base", "ou=servers,o=acme", "import", "long.json"}).err,
                HasSubstr("velmorService: the value has 1000 bytes; the driver stores at most 512 bytes"));
}

}  // namespace
