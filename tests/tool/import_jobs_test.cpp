// import over several sessions at once (--jobs): the same accounting as over
// one, with the deadline's alarm clock halted and restarted from every
// session's thread.  Labelled "concurrency", so the ThreadSanitizer build
// runs it too.
#include <algorithm>

#include "tool/tool_directory.h"

namespace {

using VeldirImportJobs = ToolDirectoryTest;

std::string records(int from, int to) {
    std::string ldif;
    for (int i = from; i < to; ++i)
        ldif += "dn: velmorServername=job" + std::to_string(i) + ",ou=servers,o=acme\nobjectClass: velmorServer\n"
                "velmorServername: job" + std::to_string(i) + "\nvelmorVersion: " + std::to_string(i) + "\n\n";
    return ldif;
}

TEST_F(VeldirImportJobs, EveryEntryIsCountedOnceWhateverTheSessions) {
    server->add_ldif(records(0, 100));
    write_file("jobs.ldif", records(0, 300));
    const struct {
        std::vector<std::string> options;
        std::string added, skipped, replaced;
    } runs[] = {
        {{"--jobs", "4", "--existing", "skip"}, "200", "100", "0"},
        {{"--jobs", "2", "--existing", "replace", "--dry-run"}, "0", "0", "300"},
        {{"--jobs", "3", "--existing", "replace"}, "0", "0", "300"},
    };
    for (const auto &run : runs) {
        std::vector<std::string> arguments{"--deadline", "120", "--json"};
        arguments.insert(arguments.end(), run.options.begin(), run.options.end());
        arguments.insert(arguments.end(), {"import", "jobs.ldif"});
        const ToolResult result = veldir(arguments);
        ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
        const JsonValue report = json_of(result);
        EXPECT_EQ(report.member("added")->text, run.added);
        EXPECT_EQ(report.member("skipped")->text, run.skipped);
        EXPECT_EQ(report.member("replaced")->text, run.replaced);
        for (const char *none : {"refused", "not_tried", "unknown"}) EXPECT_EQ(report.member(none)->text, "0") << none;
    }
    EXPECT_THAT(server->ldapsearch_output(server->servers_base(), "one", "(velmorVersion=299)"),
                HasSubstr("velmorServername=job299,"));
    const std::string all = server->ldapsearch_output(server->servers_base(), "one", "(objectClass=velmorServer)", {"1.1"});
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n') / 2, 303);
}

}  // namespace
