// The log file in a working directory others may write: whatever already
// carries the log's name is written only if it is a regular file of the
// process's own user with no other name.  Each case plants something under
// that name before the driver's first message (every case runs in its own
// process and working directory) and opens a session whose initialisation
// string holds a password.  Planting files of another user needs root, as in
// CI.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/log_file.h"
#include "support/session.h"

namespace {

constexpr const char *kLog = "libveldldap.log";
constexpr const char *kPassword = "planted-log-secret";
const std::string kInit = std::string("ldap://127.0.0.1:389/o=acme????bindname=cn=admin,o=acme?") + kPassword;
constexpr uid_t kOtherUser = 65534;

struct FileState {
    std::string content;
    mode_t mode = 0;
    bool operator==(const FileState &) const = default;
};

FileState state_of(const char *path) {
    struct stat status {};
    if (::stat(path, &status) != 0) return {};
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return {content.str(), status.st_mode & 07777};
}

void write_file(const char *path, const char *content, mode_t mode, uid_t owner) {
    std::ofstream(path) << content;
    ASSERT_EQ(::chmod(path, mode), 0);
    if (owner != ::geteuid()) {
        ASSERT_EQ(::chown(path, owner, owner), 0);
    }
}

void plant_victim() { write_file("victim", "the user's own data\n", 0640, ::geteuid()); }
int fifo_reader = -1;  // the attacker waiting at a FIFO

struct Case {
    const char *name;
    bool needs_root;
    bool log_kept;
    const char *witness;  // a file the log must leave alone (content and mode)
    void (*plant)();
};

const Case kCases[] = {
    {"OwnFileLeftByAnEarlierProcessIsTruncatedAndMadePrivate", false, true, nullptr,
     [] { write_file(kLog, "left over from an earlier process\n", 0644, ::geteuid()); }},
    {"SymbolicLinkToAnotherFileOfTheUser", false, false, "victim",
     [] {
         plant_victim();
         ASSERT_EQ(::symlink("victim", kLog), 0);
     }},
    {"HardLinkToAnotherFileOfTheUser", false, false, "victim",
     [] {
         plant_victim();
         ASSERT_EQ(::link("victim", kLog), 0);
     }},
    {"FileOfAnotherUserWritableByAll", true, false, kLog, [] { write_file(kLog, "attacker's\n", 0666, kOtherUser); }},
    {"FifoNobodyReads", false, false, nullptr, [] { ASSERT_EQ(::mkfifo(kLog, 0600), 0); }},
    {"FifoSomeoneReads", false, false, nullptr,
     [] {
         ASSERT_EQ(::mkfifo(kLog, 0666), 0);
         fifo_reader = ::open(kLog, O_RDONLY | O_NONBLOCK);
         ASSERT_GE(fifo_reader, 0);
     }},
};

void PrintTo(const Case &c, std::ostream *out) { *out << c.name; }

class PlantedLogName : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(PlantedLogName, IsWrittenOnlyIfItIsTheUsersOwnRegularFile) {
    const Case &c = GetParam();
    if (c.needs_root && ::geteuid() != 0) GTEST_SKIP() << "planting another user's file needs root";
    ASSERT_NO_FATAL_FAILURE(c.plant());
    const FileState witness = c.witness ? state_of(c.witness) : FileState{};

    {
        Session session(kInit);
        EXPECT_EQ(session.opened_with, CS_SUCCEED) << "the log never fails the host's call";
    }

    if (c.log_kept) {
        EXPECT_TRUE(log_text().starts_with("--(line ")) << "truncated before the first message";
        EXPECT_NE(log_text().find(kPassword), std::string::npos);
        EXPECT_EQ(state_of(kLog).mode, 0600u);
        return;
    }
    if (c.witness != nullptr) {
        EXPECT_EQ(state_of(c.witness), witness) << "the password never reaches it";
    }
    if (fifo_reader >= 0) {
        char byte;
        EXPECT_LE(::read(fifo_reader, &byte, 1), 0) << "nothing reached the reader";
    }

    // Refused once, refused for the process: a name freed later is not taken.
    ASSERT_EQ(::unlink(kLog), 0);
    Session again(kInit);
    EXPECT_EQ(again.opened_with, CS_SUCCEED);
    struct stat status {};
    EXPECT_NE(::lstat(kLog, &status), 0);
}

INSTANTIATE_TEST_SUITE_P(LogFile, PlantedLogName, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case> &test) { return test.param.name; });
