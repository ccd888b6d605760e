// Where the connection comes from: libdsv.cfg, --init and the other options,
// and how bad configurations are reported.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool/tool_runner.h"

namespace {

const std::string kUrl = "ldap://127.0.0.1:9/ou=servers,o=demo";

TEST(VeldirConfiguration, BadInitialisationStringsNameTheProblem) {
    const struct {
        std::string init;
        std::string code;
    } cases[] = {
        {" " + kUrl, "DLDAP_STATUS_BAD_OPTION"},
        {"retry=x " + kUrl, "DLDAP_STATUS_BAD_OPTION"},
        {"starttls ldaps://127.0.0.1:9/o=x", "DLDAP_STATUS_BAD_OPTION"},
        {"no-url-here", "DLDAP_STATUS_BAD_OPTION"},
        {"retry=1", "DLDAP_ERR_INITSTR (4)"},
        {kUrl + "????user=me?pw", "DLDAP_ERR_INITSTR (4)"},
    };
    for (const auto &c : cases) {
        const ToolResult result = run_veldir({"--init", c.init, "search"});
        EXPECT_EQ(result.exit_code, 3) << c.init;
        EXPECT_NE(result.err.find("open failed: " + c.code), std::string::npos) << c.init << "\n" << result.err;
        EXPECT_NE(result.err.find("hint: "), std::string::npos) << result.err;
    }
}

TEST(VeldirConfiguration, NoInitialisationStringAnywhere) {
    const ToolResult result = run_veldir({"search"});
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_NE(result.err.find("no initialisation string"), std::string::npos) << result.err;
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

TEST(VeldirConfiguration, FileErrorsNameTheLine) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"[DIRECTORY]\n\ndriverr = x\n", "bad.cfg:3: unknown key \"driverr\""},
        {"[DIRECTORY]\ninit = a\nINIT = b\n", "bad.cfg:3: \"INIT\" is given twice"},
        {"[DIRECTORY]\ntimelimit = soon\n", "bad.cfg:2: timelimit must be a number"},
        {"[DIRECTORY\n", "bad.cfg:1: a section header must end with ]"},
        {"[DIRECTORY]\njust words\n", "bad.cfg:2: expected key = value"},
    };
    for (const auto &c : cases) {
        write_file("bad.cfg", c.text);
        const ToolResult result = run_veldir({"--config", "bad.cfg", "search"});
        EXPECT_EQ(result.exit_code, 3) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    const ToolResult missing = run_veldir({"--config", "missing.cfg", "search"});
    EXPECT_EQ(missing.exit_code, 3);
    EXPECT_NE(missing.err.find("cannot read the configuration file missing.cfg"), std::string::npos);
}

TEST(VeldirConfiguration, DriverThatCannotBeLoaded) {
    write_file("not-a-driver.so", "plain text");
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {"not-a-driver.so", "the driver could not be loaded"},
        {"nowhere/libveldldap64.so.15.5.0", "does not exist"},
    };
    for (const auto &c : cases) {
        const ToolResult result = run_veldir({"--driver", c.path, "--init", kUrl, "props"});
        EXPECT_EQ(result.exit_code, 3);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

}  // namespace
