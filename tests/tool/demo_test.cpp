// veldir demo from start to end, and that it leaves nothing behind.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <regex>

#include "tool/tool_runner.h"

namespace {

TEST(VeldirDemo, RunsTheWholeLifecycleAndRemovesItsServer) {
    const ToolResult result = run_veldir({"demo"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    for (const char *step : {"open", "bind", "search", "add", "read", "modify", "delete", "read again", "unbind",
                             "close"})
        EXPECT_TRUE(std::regex_search(result.out, std::regex(std::string("\\d\\. ") + step + " +ok "))) << step;
    EXPECT_NE(result.out.find("StartTLS, then simple bind"), std::string::npos);
    EXPECT_NE(result.out.find("velmorStatus      2"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("The whole lifecycle worked."), std::string::npos);

    std::smatch directory;
    ASSERT_TRUE(std::regex_search(result.out, directory, std::regex("data in (\\S+)")));
    EXPECT_FALSE(std::filesystem::exists(directory[1].str()));
}

TEST(VeldirDemo, AFailingStepStillStopsTheServer) {
    // A driver that is not there: the demo fails at its first step.
    const ToolResult result = run_veldir({"--driver", "/nonexistent/libveldldap64.so.15.5.0", "demo"});
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_NE(result.out.find("load driver failed"), std::string::npos) << result.out;
    std::smatch directory;
    ASSERT_TRUE(std::regex_search(result.out, directory, std::regex("data in (\\S+)")));
    EXPECT_FALSE(std::filesystem::exists(directory[1].str()));
}

TEST(VeldirDemo, CtrlCStopsTheServerAndRemovesItsDirectory) {
    bool sent = false;
    const auto interrupt = [&sent](const std::string &out, pid_t child) {
        if (sent || out.find("Starting a throw-away") == std::string::npos) return;
        ::kill(child, SIGINT);
        sent = true;
    };
    const ToolResult result = run_veldir({"demo"}, {.on_output = interrupt});
    EXPECT_EQ(result.exit_code, 128 + SIGINT) << result.out << result.err;
    EXPECT_NE(result.out.find("failed: interrupted"), std::string::npos) << result.out;
    std::smatch directory;
    if (std::regex_search(result.out, directory, std::regex("data in (\\S+)"))) {
        EXPECT_FALSE(std::filesystem::exists(directory[1].str()));
    }
}

}  // namespace
