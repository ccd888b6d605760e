// Where the connection comes from: libdsv.cfg, --init and the other options,
// and how bad configurations are reported.
#include <filesystem>

#include "tool/tool_runner.h"

namespace {

namespace fs = std::filesystem;

const std::string kUrl = "ldap://127.0.0.1:9/ou=servers,o=demo";

// Every problem of the configuration exits 3 and names itself (with the
// line of a bad file, or the file and the sections read); a string the
// driver refuses comes with what is wrong with it.
TEST(VeldirConfiguration, ProblemsExitThreeAndNameTheProblem) {
    write_file("not-a-driver.so", "plain text");
    const std::string here = fs::current_path().string() + "/";
    const std::string bad_option = "open failed: DLDAP_STATUS_BAD_OPTION", bad_string = "open failed: DLDAP_ERR_INITSTR (4)";
    const struct {
        std::string file;  // written to bad.cfg first, when given
        std::vector<std::string> arguments;
        std::string message, hint;
    } cases[] = {
        {"", {"--init", " " + kUrl}, bad_option, "the string begins with a blank"},
        {"", {"--init", "starttls ldaps://127.0.0.1:9/o=x"}, bad_option, "starttls cannot be used with an ldaps:// URL"},
        {"", {"--init", "no-url-here"}, bad_option, "\"no-url-here\" is no option"},
        {"", {"--init", "http://127.0.0.1:9/o=x"}, bad_option, "\"http\" is not a scheme of LDAP URLs"},
        {"", {"--init", "127.0.0.1:389/o=x"}, bad_option, "\"127.0.0.1:389/o=x\" has no scheme"},
        {"", {"--init", "retry=1"}, bad_string, "the string has no LDAP URL"},
        {"", {"--init", kUrl + "????user=me?pw"}, bad_string, "bindname="},
        {"", {"--init", kUrl + "????bindname=cn=a?0x01zz"}, bad_string, "but it has 6 characters"},
        {"", {"--init", kUrl + "????bindname=cn=a?0x01" + std::string(65, '0') + "g"}, bad_string,
         "its character 70 is no hexadecimal digit"},
        {"", {}, "no initialisation string: no --init or --init-file, and no " + here + "libdsv.cfg", ""},
        {"", {"--driver", "not-a-driver.so", "--init", kUrl}, "the driver could not be loaded", ""},
        {"", {"--driver", "nowhere/libveldldap64.so.15.5.0", "--init", kUrl}, "does not exist", ""},
        {"", {"--config", "missing.cfg"}, here + "missing.cfg is not used: it does not exist", ""},
        {"", {"--config", "/tmp"}, "/tmp is not used: it is a directory", ""},
        {"", {"--config", "/dev/zero"}, "/dev/zero is not used: it is a device", ""},
        {"[DIRECTRY]\ninit = " + kUrl + "\n[OTHER]\n", {"--config", "bad.cfg"},
         here + "bad.cfg has no [DIRECTORY] section (it has [DIRECTRY], [OTHER])", ""},
        {"init = " + kUrl + "\n", {"--config", "bad.cfg"}, here + "bad.cfg has no section", ""},
        {"[DIRECTORY]\n\ndriverr = x\n", {"--config", "bad.cfg"}, "bad.cfg:3: unknown key \"driverr\"", ""},
        {"[DIRECTORY]\nca = a\nCA = b\n", {"--config", "bad.cfg"}, "bad.cfg:3: \"CA\" is given twice", ""},
        {"# the replicas, one a line\n\n", {"--init-file", "bad.cfg"}, "the initialisation string given is empty", ""},
        {"[DIRECTORY]\ntimelimit = soon\n", {"--config", "bad.cfg"}, "bad.cfg:2: timelimit must be a number", ""},
        {"[DIRECTORY\n", {"--config", "bad.cfg"}, "bad.cfg:1: a section header must end with ]", ""},
        {"[DIRECTORY]\njust words\n", {"--config", "bad.cfg"}, "bad.cfg:2: expected key = value", ""},
    };
    for (const auto &c : cases) {
        if (!c.file.empty()) write_file("bad.cfg", c.file);
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back("search");
        const ToolResult result = run_veldir(arguments);
        EXPECT_TRUE(exits_with(result, 3, c.message));
        EXPECT_THAT(result.err, HasSubstr("hint: "));
        EXPECT_THAT(result.err, HasSubstr(c.hint));
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
        EXPECT_THAT(result.err, HasSubstr("veldir: warning: " + c.warning));
    }
    EXPECT_THAT(run_veldir({"--init", kUrl + "????bindname=cn=app,o=demo", "check"}).out,
                HasSubstr("anonymous (bind DN cn=app,o=demo without a password)"));
}

// Comments, quotes and other sections are read past; paths count from the
// file's directory (--log-dir and the CA alike), and options win over it.
TEST(VeldirConfiguration, FileWithCommentsQuotesAndOtherSectionsIsRead) {
    fs::create_directories("conf");
    fs::create_directories("logs");
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
    EXPECT_THAT(props.out, HasSubstr("\"bind_dn\": \"cn=app,o=demo\""));
    EXPECT_THAT(props.out, HasSubstr("\"search_base\": \"ou=servers,o=demo\""));
    EXPECT_THAT(props.out, HasSubstr("\"password_set\": true"));
    EXPECT_THAT(run_veldir({"--config", "conf/libdsv.cfg", "--base", "ou=other,o=demo", "--json", "props"}).out,
                HasSubstr("\"search_base\": \"ou=other,o=demo\""));
    // Not even in the driver's log: veldir never asks the driver for it.
    const std::string logged = read_text("state/veldir/libveldldap.log");
    EXPECT_THAT(logged, HasSubstr("bindname=cn=app,o=demo"));
    EXPECT_EQ(logged.find("GETting string \"pa#ss"), std::string::npos);

    fs::remove_all("state");
    const ToolResult check = run_veldir({"--log-dir", "logs", "--config", "conf/libdsv.cfg", "check"});
    EXPECT_EQ(check.exit_code, 3);
    EXPECT_THAT(check.out, HasSubstr(fs::absolute("conf/certs/ca.pem").string()));
    EXPECT_THAT(check.out, HasSubstr("bindname=cn=app,o=demo?****"));
    EXPECT_THAT(check.out, HasSubstr("7 s"));
    EXPECT_EQ(check.out.find("pa#ss"), std::string::npos) << "the password must never be shown";
    EXPECT_THAT(check.out, HasSubstr("the driver's log: " + fs::absolute("logs/libveldldap.log").string()));
    EXPECT_FALSE(fs::exists("libveldldap.log")) << "nothing beside whatever the user was doing";
    EXPECT_FALSE(fs::exists("state"));
}

}  // namespace
