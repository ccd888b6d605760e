// veldir demo from start to end on each kind of server, and that it leaves
// nothing behind in TMPDIR: not after a failure, a signal or a closed pipe.
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <regex>

#include "directory_launcher.h"
#include "tool/tool_runner.h"

namespace {

namespace fs = std::filesystem;

// A TMPDIR of the test's own, so that whatever the demo leaves behind shows.
std::string own_temporary_directory() {
    const std::string directory = fs::absolute("tmp").string();
    fs::create_directory(directory);
    ::setenv("TMPDIR", directory.c_str(), 1);
    return directory;
}

// The server's directory the demo reported, or "".
std::string server_directory(const std::string &out) {
    std::smatch directory;
    return std::regex_search(out, directory, std::regex("data in (\\S+)")) ? directory[1].str() : "";
}

void expect_steps_done(const std::string &out, std::initializer_list<const char *> steps) {
    for (const char *step : steps)
        EXPECT_TRUE(std::regex_search(out, std::regex(std::string("\\d\\. ") + step + " +ok "))) << step << "\n" << out;
}

// The run's standard output so far makes `signal_number` go to veldir once it holds `cue`.
veldldap::ProgramOptions signal_on(const std::string &cue, int signal_number) {
    return {.on_output = [cue, signal_number, sent = false](const std::string &out, pid_t child) mutable {
        if (sent || out.find(cue) == std::string::npos) return;
        ::kill(child, signal_number);
        sent = true;
    }};
}

class VeldirDemo : public ::testing::TestWithParam<std::string> {};

TEST_P(VeldirDemo, RunsTheWholeLifecycleAndRemovesItsServer) {
    const bool ds389 = GetParam() == "389ds";
    if (!veldldap::directory_server_installed(ds389 ? veldldap::DirectoryFlavour::ds389 : veldldap::DirectoryFlavour::slapd))
        GTEST_SKIP() << GetParam() << " is not installed";
    const std::string temporary = own_temporary_directory();
    const ToolResult result = run_veldir({"demo", "--server", GetParam()});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr(ds389 ? "(389 Directory Server," : "(slapd,"));
    expect_steps_done(result.out, {"open", "bind", "search", "add", "read", "modify", "delete", "read again", "unbind",
                                   "close"});
    EXPECT_THAT(result.out, HasSubstr("StartTLS, then simple bind"));
    EXPECT_THAT(result.out, HasSubstr("velmorStatus      2"));
    EXPECT_THAT(result.out, HasSubstr("The whole lifecycle worked."));

    const std::string directory = server_directory(result.out);
    EXPECT_TRUE(directory.starts_with(temporary + "/")) << directory;
    EXPECT_FALSE(fs::exists(directory));
    EXPECT_TRUE(fs::is_empty(temporary));
}

INSTANTIATE_TEST_SUITE_P(EachServer, VeldirDemo, ::testing::Values("slapd", "389ds"),
                         [](const auto &server) { return server.param == "389ds" ? "ds389" : server.param; });

// However the demo ends, its server goes, and the exit code says how it ended.
TEST(VeldirDemoEnd, AFailureOrAnySignalStillStopsTheServer) {
    const std::string temporary = own_temporary_directory();
    // A driver that is not there: the demo fails at its first step.
    const JsonValue failed = json_of(run_veldir({"--json", "--driver", "/nonexistent/libveldldap64.so.15.5.0", "demo"}));
    EXPECT_EQ(failed.member("exit_code")->text, "3");
    EXPECT_EQ(failed.member("error")->member("step")->text, "load driver");
    EXPECT_FALSE(failed.member("steps")->items.at(0).member("ok")->boolean);
    EXPECT_TRUE(failed.member("server")->member("removed")->boolean);
    EXPECT_TRUE(fs::is_empty(temporary));

    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        const ToolResult result = run_veldir({"demo"}, signal_on("Starting a throw-away", signal_number));
        EXPECT_EQ(result.exit_code, 128 + signal_number) << result.out << result.err;
        EXPECT_THAT(result.out, HasSubstr(std::string("failed: interrupted by SIG") + ::sigabbrev_np(signal_number)));
        EXPECT_TRUE(fs::is_empty(temporary)) << signal_number;
    }

    // "veldir demo | head": once head has its lines, the next line veldir
    // writes raises SIGPIPE.  Killed by it, the demo would leave its server.
    const ToolResult piped =
        veldldap::run_program({"bash", "-c", "\"$0\" demo | head -n 2; exit \"${PIPESTATUS[0]}\"", VELDIR_PATH});
    EXPECT_EQ(piped.exit_code, 128 + SIGPIPE) << piped.out << piped.err;
    ASSERT_FALSE(server_directory(piped.out).empty()) << piped.out;
    EXPECT_TRUE(fs::is_empty(temporary));
}

// Two providers that replicate each other: the run moves to the second
// once the first is stopped, and both go at the end, even when a signal
// comes while one of them is stopped.
TEST(VeldirReplicatedDemo, ReadAndAddMoveToTheSecondServerAndBothAreRemoved) {
    const std::string temporary = own_temporary_directory();
    const ToolResult result = run_veldir({"demo", "--replicated"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    expect_steps_done(result.out, {"bind", "add", "read on 2", "stop 1", "read", "add", "start 1", "compare", "unbind",
                                   "close"});
    EXPECT_TRUE(std::regex_search(result.out, std::regex("read +ok .*demo-new, served by server 2 of 2; server 1: "
                                                         "LDAP -1 LDAP_SERVER_DOWN")))
        << result.out;
    EXPECT_TRUE(std::regex_search(result.out, std::regex("add +ok .*demo-failover, served by server 2 of 2")));
    EXPECT_THAT(result.out, HasSubstr("servers 1 and 2 hold the same 5 entries"));
    EXPECT_THAT(result.out, HasSubstr("The servers were stopped and their directories removed."));
    EXPECT_TRUE(fs::is_empty(temporary));

    const ToolResult interrupted = run_veldir({"demo", "--replicated"}, signal_on("stop 1", SIGINT));
    EXPECT_EQ(interrupted.exit_code, 128 + SIGINT) << interrupted.out << interrupted.err;
    EXPECT_TRUE(fs::is_empty(temporary));
}

}  // namespace
