// The log's cost in system calls: every message, prefix and text together,
// is exactly one write(2) of exactly its own bytes.  Counted by the kernel's
// own account (strace), not by timing.  The test starts this same executable
// again under strace; with kWriterVariable set, the process logs a known mix
// of messages before gtest ever runs and exits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "comnblib.h"
#include "child_process.h"

namespace {

constexpr const char *kWriterVariable = "VELDLDAP_LOG_WRITER_ROUNDS";
constexpr std::size_t kPrefixLength = sizeof "--(line 1234)--: " - 1;

// A mix of what the driver logs: ordinary lines, a message without a line
// feed, one longer than the composer's stack buffer, and one with a
// conversion the composer leaves to vsnprintf.
const std::vector<std::string> kRound = {
    "DN=velmorServername=srv1, o=acme\n",
    " (DCL_SYNTAX_INTEGER)\n",
    "LDAP_SEARCH_ST timed out, retrying... ",
    std::string(3000, 'v') + "\n",
    "ff printf path\n",
};

void write_one_round() {
    for (std::size_t i = 0; i + 1 < kRound.size(); ++i) GDD_LOG("%s", kRound[i].c_str());
    GDD_LOG("%x %s", 255u, "printf path\n");
}

// Runs before main: a process started as the writer never reaches gtest.
const bool started_as_writer = [] {
    const char *rounds = std::getenv(kWriterVariable);
    if (rounds == nullptr) return false;
    for (int round = std::atoi(rounds); round > 0; --round) write_one_round();
    std::_Exit(0);
}();

struct TracedWrite {
    std::string call;
    std::string path;
    long bytes;
};

// Every write-family call strace saw, with the path of the descriptor (-y).
std::vector<TracedWrite> traced_writes(const std::string &trace_file) {
    static const std::regex line(R"(^(\w+)\(\d+<([^>]*)>.*\)\s+=\s+(-?\d+))");
    std::vector<TracedWrite> writes;
    std::ifstream in(trace_file);
    for (std::string text; std::getline(in, text);) {
        std::smatch match;
        if (std::regex_search(text, match, line))
            writes.push_back({match[1], match[2], std::stol(match[3])});
    }
    return writes;
}

// This executable again, as the writer, under strace.
veldldap::ProgramResult run_writer_under_strace(int rounds, const std::string &trace_file) {
    char executable[4096] = {};
    if (readlink("/proc/self/exe", executable, sizeof executable - 1) <= 0) return {};
    return veldldap::run_program({"strace", "-qq", "-y", "-s", "0", "-o", trace_file, "-e",
                                  "trace=write,writev,pwrite64,pwritev,pwritev2", "-E",
                                  std::string(kWriterVariable) + "=" + std::to_string(rounds), "--", executable});
}

}  // namespace

TEST(LogSystemCalls, EachMessageIsExactlyOneWriteOfItsOwnBytes) {
    ASSERT_FALSE(started_as_writer);
    constexpr int kRounds = 40;
    const veldldap::ProgramResult traced = run_writer_under_strace(kRounds, "trace.txt");
    ASSERT_TRUE(traced.ok()) << "strace (a build dependency) must be installed and allowed to trace: "
                             << traced.summary();

    std::vector<std::size_t> expected;
    for (int round = 0; round < kRounds; ++round)
        for (const std::string &message : kRound) expected.push_back(kPrefixLength + message.size());

    std::vector<std::size_t> log_writes;
    for (const TracedWrite &write : traced_writes("trace.txt")) {
        if (!write.path.ends_with("/libveldldap.log")) continue;
        EXPECT_EQ(write.call, "write");
        log_writes.push_back(static_cast<std::size_t>(write.bytes));
    }
    EXPECT_EQ(log_writes, expected);
}
