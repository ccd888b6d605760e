// What a neighbour who can write where veldir runs could plant, and the
// ways to keep a bind password off the command line and out of the log.
// Run as root (as in CI), the planted files are chown'ed to another uid to
// play the other user.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "tool/tool_directory.h"

namespace {

namespace fs = std::filesystem;

const std::string kUrl = "ldap://127.0.0.1:9/ou=servers,o=demo";
constexpr uid_t kOtherUser = 4242;

std::string config_text(const std::string &extra = "") { return "[DIRECTORY]\ninit = " + kUrl + "\n" + extra; }

void planted(const std::string &path, const std::string &text, mode_t mode, uid_t owner = ::geteuid()) {
    write_file(path, text);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    ASSERT_EQ(::chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0);
}

TEST(VeldirTrust, ConfigurationAndDriverOthersCouldChangeAreRefused) {
    const bool root = ::geteuid() == 0;
    fs::create_directory("shared");
    fs::permissions("shared", fs::perms::all);
    const struct {
        bool needs_root;
        std::function<void()> plant;
        std::vector<std::string> arguments;
        std::string reason;
    } cases[] = {
        {true, [] { planted("libdsv.cfg", config_text(), 0644, kOtherUser); }, {"props"},
         "libdsv.cfg is not used: it belongs to another user (uid 4242)"},
        {false, [] { planted("libdsv.cfg", config_text(), 0666); }, {"props"}, "others can write it (mode 0666)"},
        {false, [] { planted("shared/libdsv.cfg", config_text(), 0600); }, {"--config", "shared/libdsv.cfg", "props"},
         "others can write its directory " + fs::absolute("shared").string()},
        {false, [] { fs::create_symlink("shared/libdsv.cfg", "libdsv.cfg"); }, {"props"}, "it is a symbolic link"},
        // Opened without waiting: a FIFO nobody writes would otherwise hang veldir.
        {false, [] { ASSERT_EQ(::mkfifo("libdsv.cfg", 0600), 0); }, {"props"}, "it is a FIFO"},
        {true,
         [] {
             planted("evil.so", "code", 0755, kOtherUser);
             planted("libdsv.cfg", config_text("driver = evil.so\n"), 0600);
         },
         {"props"}, "the driver " + fs::absolute("evil.so").string() + " named in"},
    };
    for (const auto &c : cases) {
        if (c.needs_root && !root) continue;
        fs::remove("libdsv.cfg");
        c.plant();
        EXPECT_TRUE(exits_with(run_veldir(c.arguments), 3, c.reason));
    }

    // With the string on the command line nothing planted is read at all.
    EXPECT_EQ(run_veldir({"--init", kUrl, "props"}).exit_code, 0);

    // A file others can read that holds a password is used, with a warning.
    fs::remove("libdsv.cfg");
    planted("libdsv.cfg", "[DIRECTORY]\ninit = " + kUrl + "????bindname=cn=a,o=demo?0x01" + std::string(66, '0') + "\n",
            0644);
    EXPECT_THAT(run_veldir({"props"}).err, HasSubstr("holds a password and others can read it"));
    ASSERT_EQ(::chmod("libdsv.cfg", 0600), 0);
    EXPECT_EQ(run_veldir({"props"}).err.find("others can read"), std::string::npos);
}

using VeldirPasswords = ToolDirectoryTest;

// The password reaches the driver enciphered, from a file, the terminal or
// a string file, and never stands in clear on the command line or in the log.
TEST_F(VeldirPasswords, PasswordFromAFileOrTheTerminalBindsAndStaysOutOfTheLog) {
    const std::string without = "starttls " + server->url() + "/" + server->servers_base() + "????bindname=" +
                                server->admin_dn();
    planted("password", server->admin_password() + "\n", 0600);
    planted("init", init() + "\n", 0600);
    const struct {
        std::vector<std::string> arguments;
        veldldap::ProgramOptions options;
        bool enciphered;  // the password was given apart from the string
    } cases[] = {
        {{"--init", without, "--password-file", "password"}, {}, true},
        {{"--init", without, "-W"},
         {.terminal = kTerminal, .prompt = "Bind password: ", .answer = server->admin_password() + "\n"}, true},
        {{"--init-file", "init"}, {}, false},
        {{"--init", "-"}, {.input = init() + "\n"}, false},
    };
    for (const auto &c : cases) {
        std::vector<std::string> arguments{"--ca", server->ca_file(), "--json"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        arguments.push_back("props");
        ToolResult result = run_veldir(arguments, c.options);
        EXPECT_EQ(result.exit_code, 0) << c.arguments.front() << ": " << result.err;
        EXPECT_THAT(result.out, HasSubstr("\"password_set\": true"));
        EXPECT_EQ(result.err.find("process list"), std::string::npos) << result.err;
        arguments.back() = "search";
        result = run_veldir(arguments, c.options);
        EXPECT_EQ(result.exit_code, 0) << c.arguments.front() << ": " << result.err;
        if (!c.enciphered) continue;
        // The driver keeps the log of its last run only.
        const std::string log = read_text("state/veldir/libveldldap.log");
        EXPECT_THAT(log, HasSubstr("bindname=" + server->admin_dn() + "?0x01"));
        EXPECT_EQ(log.find(server->admin_password()), std::string::npos);
    }

    // What "veldir encipher" prints binds as it is; the password never comes from the command line.
    const ToolResult enciphered = run_veldir({"encipher", "--stdin"}, {.input = server->admin_password() + "\n"});
    ASSERT_EQ(enciphered.out.size(), 71u) << enciphered.out << enciphered.err;
    const ToolResult bound = run_veldir({"--init", init(enciphered.out.substr(0, 70)), "--ca", server->ca_file(), "search"});
    EXPECT_EQ(bound.exit_code, 0) << bound.err;
    EXPECT_EQ(run_veldir({"encipher", "secret"}).exit_code, 1);

    // A string that has a password already takes no second one.
    EXPECT_TRUE(exits_with(run_veldir({"--init", init(), "--password-file", "password", "props"}), 3,
                           "holds a password already"));
}

}  // namespace
