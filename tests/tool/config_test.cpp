// Where the connection comes from: libdsv.cfg, --init and the other options,
// and how bad configurations are reported.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool/tool_runner.h"

namespace {

const std::string kUrl = "ldap://127.0.0.1:9/ou=servers,o=demo";

// Every problem of the configuration exits 3 and names itself (with the
// line of a bad file); the driver's refusals of the string come with a hint.
TEST(VeldirConfiguration, ProblemsExitThreeAndNameTheProblem) {
    write_file("not-a-driver.so", "plain text");
    const struct {
        std::string file;  // written to bad.cfg first, when given
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {"", {"--init", " " + kUrl, "search"}, "open failed: DLDAP_STATUS_BAD_OPTION"},
        {"", {"--init", "starttls ldaps://127.0.0.1:9/o=x", "search"}, "open failed: DLDAP_STATUS_BAD_OPTION"},
        {"", {"--init", "no-url-here", "search"}, "open failed: DLDAP_STATUS_BAD_OPTION"},
        {"", {"--init", "retry=1", "search"}, "open failed: DLDAP_ERR_INITSTR (4)"},
        {"", {"--init", kUrl + "????user=me?pw", "search"}, "open failed: DLDAP_ERR_INITSTR (4)"},
        {"", {"search"}, "no initialisation string"},
        {"", {"--driver", "not-a-driver.so", "--init", kUrl, "props"}, "the driver could not be loaded"},
        {"", {"--driver", "nowhere/libveldldap64.so.15.5.0", "--init", kUrl, "props"}, "does not exist"},
        {"", {"--config", "missing.cfg", "search"}, "cannot read the configuration file missing.cfg"},
        {"[DIRECTORY]\n\ndriverr = x\n", {"--config", "bad.cfg", "search"}, "bad.cfg:3: unknown key \"driverr\""},
        {"[DIRECTORY]\ninit = a\nINIT = b\n", {"--config", "bad.cfg", "search"}, "bad.cfg:3: \"INIT\" is given twice"},
        {"[DIRECTORY]\ntimelimit = soon\n", {"--config", "bad.cfg", "search"}, "bad.cfg:2: timelimit must be a number"},
        {"[DIRECTORY\n", {"--config", "bad.cfg", "search"}, "bad.cfg:1: a section header must end with ]"},
        {"[DIRECTORY]\njust words\n", {"--config", "bad.cfg", "search"}, "bad.cfg:2: expected key = value"},
    };
    for (const auto &c : cases) {
        if (!c.file.empty()) write_file("bad.cfg", c.file);
        const ToolResult result = run_veldir(c.arguments);
        EXPECT_EQ(result.exit_code, 3) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.message << "\n" << result.err;
        EXPECT_TRUE(!c.message.starts_with("open failed") || result.err.find("hint: ") != std::string::npos);
    }
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
