// Where the connection comes from: libdsv.cfg, --init and the other options,
// and how bad configurations are reported.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tool/tool_runner.h"

namespace {

const std::string kUrl = "ldap://127.0.0.1:9/ou=servers,o=demo";

// Every problem of the configuration exits 3 and names itself (with the
// line of a bad file, or the file and the sections read); a string the
// driver refuses comes with what is wrong with it.
TEST(VeldirConfiguration, ProblemsExitThreeAndNameTheProblem) {
    write_file("not-a-driver.so", "plain text");
    const std::string here = std::filesystem::current_path().string() + "/";
    const struct {
        std::string file;  // written to bad.cfg first, when given
        std::vector<std::string> arguments;
        std::string message, hint;
    } cases[] = {
        {"", {"--init", " " + kUrl, "search"}, "open failed: DLDAP_STATUS_BAD_OPTION", "the string begins with a blank"},
        {"", {"--init", "starttls ldaps://127.0.0.1:9/o=x", "search"}, "open failed: DLDAP_STATUS_BAD_OPTION",
         "starttls cannot be used with an ldaps:// URL"},
        {"", {"--init", "no-url-here", "search"}, "open failed: DLDAP_STATUS_BAD_OPTION",
         "\"no-url-here\" is no option"},
        {"", {"--init", "http://127.0.0.1:9/o=x", "search"}, "open failed: DLDAP_STATUS_BAD_OPTION",
         "\"http\" is not a scheme of LDAP URLs"},
        {"", {"--init", "127.0.0.1:389/o=x", "search"}, "open failed: DLDAP_STATUS_BAD_OPTION",
         "\"127.0.0.1:389/o=x\" has no scheme"},
        {"", {"--init", "retry=1", "search"}, "open failed: DLDAP_ERR_INITSTR (4)", "the string has no LDAP URL"},
        {"", {"--init", kUrl + "????user=me?pw", "search"}, "open failed: DLDAP_ERR_INITSTR (4)", "bindname="},
        {"", {"--init", kUrl + "????bindname=cn=a?0x01zz", "search"}, "open failed: DLDAP_ERR_INITSTR (4)",
         "but it has 6 characters"},
        {"", {"--init", kUrl + "????bindname=cn=a?0x01" + std::string(65, '0') + "g", "search"}, "DLDAP_ERR_INITSTR",
         "its character 70 is no hexadecimal digit"},
        {"", {"search"}, "no initialisation string: no --init or --init-file, and no " + here + "libdsv.cfg", ""},
        {"", {"--driver", "not-a-driver.so", "--init", kUrl, "props"}, "the driver could not be loaded", ""},
        {"", {"--driver", "nowhere/libveldldap64.so.15.5.0", "--init", kUrl, "props"}, "does not exist", ""},
        {"", {"--config", "missing.cfg", "search"}, here + "missing.cfg is not used: it does not exist", ""},
        {"", {"--config", "/tmp", "search"}, "/tmp is not used: it is a directory", ""},
        {"", {"--config", "/dev/zero", "search"}, "/dev/zero is not used: it is a device", ""},
        {"[DIRECTRY]\ninit = " + kUrl + "\n[OTHER]\n", {"--config", "bad.cfg", "search"},
         here + "bad.cfg has no [DIRECTORY] section (it has [DIRECTRY], [OTHER])", ""},
        {"init = " + kUrl + "\n", {"--config", "bad.cfg", "search"}, here + "bad.cfg has no section", ""},
        {"[DIRECTORY]\n\ndriverr = x\n", {"--config", "bad.cfg", "search"}, "bad.cfg:3: unknown key \"driverr\"", ""},
        {"[DIRECTORY]\nca = a\nCA = b\n", {"--config", "bad.cfg", "search"}, "bad.cfg:3: \"CA\" is given twice", ""},
        {"# the replicas, one a line\n\n", {"--init-file", "bad.cfg", "search"},
         "the initialisation string given is empty", ""},
        {"[DIRECTORY]\ntimelimit = soon\n", {"--config", "bad.cfg", "search"}, "bad.cfg:2: timelimit must be a number", ""},
        {"[DIRECTORY\n", {"--config", "bad.cfg", "search"}, "bad.cfg:1: a section header must end with ]", ""},
        {"[DIRECTORY]\njust words\n", {"--config", "bad.cfg", "search"}, "bad.cfg:2: expected key = value", ""},
    };
    for (const auto &c : cases) {
        if (!c.file.empty()) write_file("bad.cfg", c.file);
        const ToolResult result = run_veldir(c.arguments);
        EXPECT_EQ(result.exit_code, 3) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.message << "\n" << result.err;
        EXPECT_NE(result.err.find("hint: "), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.hint), std::string::npos) << c.hint << "\n" << result.err;
        // A failure before the driver wrote anything points at no log.
        const bool driver_ran = c.message.find("DLDAP_") != std::string::npos;
        EXPECT_EQ(result.err.find("the driver's log:") != std::string::npos, driver_ran) << result.err;
    }
}

// What the driver would take without a word but read otherwise is said
// before anything is sent.
TEST(VeldirConfiguration, StringsReadOtherwiseThanWrittenDrawWarnings) {
    const struct {
        std::string init, warning;
    } cases[] = {
        {"retry=2,delay=1 " + kUrl, "the driver reads \"retry=2,delay=1\" as \"retry=2\" and ignores \",delay=1\""},
        {kUrl + "????bindname=cn=app,o=demo", "the string gives the bind DN cn=app,o=demo but no password, so the "
                                              "driver binds anonymously"},
        {kUrl + "????bindname=cn=app,o=demo?secret", "the password given with --init shows in the process list"},
    };
    for (const auto &c : cases) {
        const ToolResult result = run_veldir({"--init", c.init, "props"});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_NE(result.err.find("veldir: warning: " + c.warning), std::string::npos) << result.err;
    }
    const ToolResult check = run_veldir({"--init", kUrl + "????bindname=cn=app,o=demo", "check"});
    EXPECT_NE(check.out.find("anonymous (bind DN cn=app,o=demo without a password)"), std::string::npos) << check.out;
}

TEST(VeldirConfiguration, FileWithCommentsQuotesAndOtherSectionsIsRead) {
    std::filesystem::create_directory("conf");
    write_file("conf/libdsv.cfg",
               "# connection of the test\n"
               "[OTHER]\n"
               "colour = blue\n"
               "[directory]\n"
               "; the password contains # and ; and ends in a blank\n"
               "init = \"" + kUrl + "????bindname=cn=app,o=demo?pa#ss;word \"\n"
               "CA = certs/ca.pem\n"
               "timelimit = 7\n");
    const ToolResult props = run_veldir({"--config", "conf/libdsv.cfg", "--json", "props"});
    ASSERT_EQ(props.exit_code, 0) << props.err;
    EXPECT_NE(props.out.find("\"bind_dn\": \"cn=app,o=demo\""), std::string::npos) << props.out;
    EXPECT_NE(props.out.find("\"search_base\": \"ou=servers,o=demo\""), std::string::npos);
    EXPECT_NE(props.out.find("\"password_set\": true"), std::string::npos);
    EXPECT_EQ(props.out.find("pa#ss"), std::string::npos) << "the password must never be shown";
    // Not even to the driver's log: veldir never asks the driver for it.
    std::ifstream log("state/veldir/libveldldap.log");
    const std::string logged{std::istreambuf_iterator<char>(log), {}};
    EXPECT_NE(logged.find("bindname=cn=app,o=demo"), std::string::npos);
    EXPECT_EQ(logged.find("GETting string \"pa#ss"), std::string::npos);

    // The CA path counts from the file's directory; the masked string hides the password.
    const ToolResult check = run_veldir({"--config", "conf/libdsv.cfg", "check"});
    EXPECT_EQ(check.exit_code, 3);
    EXPECT_NE(check.out.find(std::filesystem::absolute("conf/certs/ca.pem").string()), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("bindname=cn=app,o=demo?****"), std::string::npos);
    EXPECT_NE(check.out.find("7 s"), std::string::npos);
    EXPECT_EQ(check.out.find("pa#ss"), std::string::npos);
}

TEST(VeldirConfiguration, OptionsWinOverTheFileInTheWorkingDirectory) {
    write_file("libdsv.cfg", "[DIRECTORY]\ninit = " + kUrl + "\n");
    const ToolResult from_file = run_veldir({"--json", "props"});
    ASSERT_EQ(from_file.exit_code, 0) << from_file.err;
    EXPECT_NE(from_file.out.find("\"search_base\": \"ou=servers,o=demo\""), std::string::npos);
    EXPECT_NE(from_file.out.find("\"password_set\": false"), std::string::npos);

    const ToolResult overridden = run_veldir({"--json", "--base", "ou=other,o=demo", "props"});
    EXPECT_NE(overridden.out.find("\"search_base\": \"ou=other,o=demo\""), std::string::npos) << overridden.out;
}

}  // namespace
