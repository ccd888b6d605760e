// veldir demo from start to end on each kind of server, and that it leaves
// nothing behind in TMPDIR: not after a failure, a signal or a closed pipe.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <regex>

#include "directory_launcher.h"
#include "json_reader.h"
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

class VeldirDemo : public ::testing::TestWithParam<std::string> {};

TEST_P(VeldirDemo, RunsTheWholeLifecycleAndRemovesItsServer) {
    const bool ds389 = GetParam() == "389ds";
    if (!veldldap::directory_server_installed(ds389 ? veldldap::DirectoryFlavour::ds389 : veldldap::DirectoryFlavour::slapd))
        GTEST_SKIP() << GetParam() << " is not installed";
    const std::string temporary = own_temporary_directory();
    const ToolResult result = run_veldir({"demo", "--server", GetParam()});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_NE(result.out.find(ds389 ? "(389 Directory Server," : "(slapd,"), std::string::npos) << result.out;
    for (const char *step : {"open", "bind", "search", "add", "read", "modify", "delete", "read again", "unbind",
                             "close"})
        EXPECT_TRUE(std::regex_search(result.out, std::regex(std::string("\\d\\. ") + step + " +ok "))) << step;
    EXPECT_NE(result.out.find("StartTLS, then simple bind"), std::string::npos);
    EXPECT_NE(result.out.find("velmorStatus      2"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("The whole lifecycle worked."), std::string::npos);

    const std::string directory = server_directory(result.out);
    EXPECT_EQ(directory.rfind(temporary + "/", 0), 0u) << directory;
    EXPECT_FALSE(fs::exists(directory));
    EXPECT_TRUE(fs::is_empty(temporary));
}

INSTANTIATE_TEST_SUITE_P(EachServer, VeldirDemo, ::testing::Values("slapd", "389ds"),
                         [](const auto &server) { return server.param == "389ds" ? "ds389" : server.param; });

TEST(VeldirDemoEnd, AFailingStepStillStopsTheServerAndJsonSaysWhy) {
    const std::string temporary = own_temporary_directory();
    // A driver that is not there: the demo fails at its first step.
    const ToolResult result = run_veldir({"--json", "--driver", "/nonexistent/libveldldap64.so.15.5.0", "demo"});
    EXPECT_EQ(result.exit_code, 3);
    JsonValue report;
    JsonError error;
    ASSERT_TRUE(parse_json(result.out, report, error)) << error.message << "\n" << result.out;
    EXPECT_FALSE(report.member("ok")->boolean);
    EXPECT_EQ(report.member("exit_code")->text, "3");
    EXPECT_EQ(report.member("error")->member("step")->text, "load driver");
    const JsonValue &step = report.member("steps")->items.at(0);
    EXPECT_EQ(step.member("step")->text, "load driver");
    EXPECT_FALSE(step.member("ok")->boolean);
    EXPECT_EQ(step.member("milliseconds")->kind, JsonValue::Kind::number);
    EXPECT_TRUE(report.member("server")->member("removed")->boolean);
    EXPECT_FALSE(fs::exists(report.member("server")->member("directory")->text));
    EXPECT_TRUE(fs::is_empty(temporary));
}

TEST(VeldirDemoEnd, EverySignalStopsTheServerAndEndsWith128PlusItsNumber) {
    const std::string temporary = own_temporary_directory();
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        bool sent = false;
        const auto send = [&sent, signal_number](const std::string &out, pid_t child) {
            if (sent || out.find("Starting a throw-away") == std::string::npos) return;
            ::kill(child, signal_number);
            sent = true;
        };
        const ToolResult result = run_veldir({"demo"}, {.on_output = send});
        EXPECT_EQ(result.exit_code, 128 + signal_number) << result.out << result.err;
        EXPECT_NE(result.out.find(std::string("failed: interrupted by SIG") + ::sigabbrev_np(signal_number)),
                  std::string::npos) << result.out;
        EXPECT_TRUE(fs::is_empty(temporary)) << signal_number;
    }

    // "veldir demo | head": once head has its lines, the next line veldir
    // writes raises SIGPIPE.  Killed by it, the demo would leave its server.
    const ToolResult piped =
        veldldap::run_program({"bash", "-c", "\"$0\" demo | head -n 2; exit \"${PIPESTATUS[0]}\"", VELDIR_PATH});
    EXPECT_EQ(piped.exit_code, 128 + SIGPIPE) << piped.out << piped.err;
    const std::string directory = server_directory(piped.out);
    ASSERT_FALSE(directory.empty()) << piped.out;
    EXPECT_FALSE(fs::exists(directory));
    EXPECT_TRUE(fs::is_empty(temporary));
}

// Two providers that replicate each other: the run moves to the second
// once the first is stopped, and both go at the end, even when a signal
// comes while one of them is stopped.
TEST(VeldirReplicatedDemo, ReadAndAddMoveToTheSecondServerAndBothAreRemoved) {
    const std::string temporary = own_temporary_directory();
    const ToolResult result = run_veldir({"demo", "--replicated"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    for (const char *step : {"bind", "add", "read on 2", "stop 1", "read", "add", "start 1", "compare", "unbind", "close"})
        EXPECT_TRUE(std::regex_search(result.out, std::regex(std::string("\\d\\. ") + step + " +ok "))) << step;
    EXPECT_TRUE(std::regex_search(result.out, std::regex("read +ok .*demo-new, served by server 2 of 2; server 1: "
                                                         "LDAP -1 LDAP_SERVER_DOWN")))
        << result.out;
    EXPECT_TRUE(std::regex_search(result.out, std::regex("add +ok .*demo-failover, served by server 2 of 2")));
    EXPECT_NE(result.out.find("servers 1 and 2 hold the same 5 entries"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("The servers were stopped and their directories removed."), std::string::npos);
    EXPECT_TRUE(fs::is_empty(temporary));

    const ToolResult refused = run_veldir({"demo", "--replicated", "--server", "389ds"});
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_NE(refused.err.find("--replicated starts slapd providers"), std::string::npos) << refused.err;

    bool sent = false;
    const auto interrupt = [&sent](const std::string &out, pid_t child) {
        if (sent || out.find("stop 1") == std::string::npos) return;
        ::kill(child, SIGINT);
        sent = true;
    };
    const ToolResult interrupted = run_veldir({"demo", "--replicated"}, {.on_output = interrupt});
    EXPECT_EQ(interrupted.exit_code, 128 + SIGINT) << interrupted.out << interrupted.err;
    EXPECT_TRUE(fs::is_empty(temporary));
}

}  // namespace
