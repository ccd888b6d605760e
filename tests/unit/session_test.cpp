// Sessions through the built driver: the initialisation string, open and
// close, and the session properties.  URLs are split by the real OpenLDAP
// client library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/driver_library.h"
#include "support/log_file.h"
#include "support/session.h"

namespace {

struct Parsed {
    std::string scheme, server;
    int port;
    std::string base, user, password;
    int retry, delay, starttls;
};

void expect_parsed(const Session &session, const Parsed &want, const std::string &input) {
    ASSERT_EQ(session.opened_with, CS_SUCCEED) << input;
    const DLDAP_PROPS &def = session.state().def;
    EXPECT_EQ(def.ldapscheme, want.scheme) << input;
    EXPECT_EQ(def.ldapserver, want.server) << input;
    EXPECT_EQ(def.ldapportnumber, want.port) << input;
    EXPECT_EQ(def.ditbase, want.base) << input;
    EXPECT_EQ(def.username, want.user) << input;
    EXPECT_EQ(def.password, want.password) << input;
    EXPECT_EQ(def.retrycount, want.retry) << input;
    EXPECT_EQ(def.delay, want.delay) << input;
    EXPECT_EQ(def.starttls, want.starttls) << input;
    EXPECT_EQ(std::memcmp(&session.state().cur, &def, sizeof def), 0) << input;
}

}  // namespace

TEST(InitString, AcceptedFormsFillTheDefaultProperties) {
    struct Case {
        std::string input;
        Parsed want;
    };
    const Case cases[] = {
        {"ldap://dirhost:1389/o=acme", {"ldap", "dirhost", 1389, "o=acme", "", "", 0, 0, 0}},
        {"retry=3\tdelay=10  starttls ldap://h:389/o=acme",
         {"ldap", "h", 389, "o=acme", "", "", 3, 10, 1}},
        {"retry=5x retry=7 ldap://h:389/o=acme", {"ldap", "h", 389, "o=acme", "", "", 7, 0, 0}},
        {"ldaps://h:636/o=acme", {"ldaps", "h", 636, "o=acme", "", "", 0, 0, 0}},
        {"ldap:///o=acme", {"ldap", "localhost", 389, "o=acme", "", "", 0, 0, 0}},
        {"ldap://h/o=acme", {"ldap", "h", 389, "o=acme", "", "", 0, 0, 0}},
        {"ldap://h:389/o=acme????bindname=cn=admin,o=acme?s3cret pass",
         {"ldap", "h", 389, "o=acme", "cn=admin,o=acme", "s3cret pass", 0, 0, 0}},
        {"ldap://h:389/o=acme????bindname=cn=a???pw?ignored",
         {"ldap", "h", 389, "o=acme", "cn=a", "pw", 0, 0, 0}},
        // Without a password the session binds anonymously, whatever the DN.
        {"ldap://h:389/o=acme????bindname=cn=a", {"ldap", "h", 389, "o=acme", "", "", 0, 0, 0}},
        {"ldap://h:389/o=acme???", {"ldap", "h", 389, "o=acme", "", "", 0, 0, 0}},
        // A "?" inside an option counts toward the four.
        {"delay=1? ldap://h:389/o=acme???bindname=cn=a?pw",
         {"ldap", "h", 389, "o=acme", "cn=a", "pw", 0, 1, 0}},
        {"ldap://h:389/o=acme????bindname=cn=a?0Xliteral",
         {"ldap", "h", 389, "o=acme", "cn=a", "0Xliteral", 0, 0, 0}},
        // One line feed at the end is dropped; a carriage return before it stays.
        {"ldap://h:389/o=acme????bindname=cn=a?pw\r\n", {"ldap", "h", 389, "o=acme", "cn=a", "pw\r", 0, 0, 0}},
    };
    for (const Case &c : cases) {
        Session session(c.input);
        expect_parsed(session, c.want, c.input);
        if (!session.opened()) continue;
        EXPECT_EQ(session.version, 15501);
        EXPECT_EQ(session.state().ld, nullptr);
        EXPECT_STREQ(session.state().RDNAttribName, "velmorServername");
        EXPECT_EQ(session.comp.dcl_status, -11) << "success leaves the completion record alone";
    }
    EXPECT_TRUE(log_contains("init_str ended with a \\n\n"));
    EXPECT_TRUE(log_contains("Using \"localhost\" instead.\n"));
}

TEST(InitString, RefusedOptionsChangeOnlyTheStatus) {
    struct Case {
        std::string input, log_line;
    };
    const Case cases[] = {
        {"retry= ldap://h:389/o=acme", "config file: 'retry' value must be a positive number!\n"},
        {"retry=-1 ldap://h:389/o=acme", "config file: 'retry' value must be a positive number!\n"},
        {"delay=x ldap://h:389/o=acme", "config file: 'delay' value must be a positive number!\n"},
        {"starttls ldaps://h:636/o=acme",
         "config file: Option 'starttls' may not be used with an ldaps:// URL\n"},
        {" ldap://h:389/o=acme", "Invalid LDAP option '' in libdsv.cfg\n"},
        {"verbose ldap://h:389/o=acme", "Invalid LDAP option 'verbose' in libdsv.cfg\n"},
    };
    for (const Case &c : cases) {
        Session session(c.input);
        EXPECT_EQ(session.opened_with, CS_FAIL) << c.input;
        EXPECT_EQ(session.comp.dcl_status, 21) << c.input;
        EXPECT_EQ(session.comp.dcl_provstatus, -22) << c.input;
        EXPECT_EQ(session.comp.dcl_oserr, -33) << c.input;
        EXPECT_FALSE(session.opened());
        EXPECT_EQ(session.version, -1);
        EXPECT_TRUE(log_contains(c.log_line)) << c.input;
    }
    EXPECT_EQ(log_count("gdd__parse_init_str failed.\n"), 6);
}

TEST(InitString, UnusableStringsFailWithCodeFour) {
    struct Case {
        std::string input;
        bool parser_code;  // oserr is the URL parser's code rather than 0
        std::string log_line;
    };
    const Case cases[] = {
        {"", true, ""},
        {"retry=3 delay=1", true, ""},
        // Nothing after the fourth "?": the URL stays whole, and this library refuses it.
        {"ldap://h:389/o=acme????", true, "unrecognized LDAP error (10)\n"},
        {"ldap://h:389", false, "No DN (ditbase) specified!\n"},
        {"ldap://h:389/o=acme????user=cn=a?pw", false, "Only the bindname extension is accepted\n"},
        {"ldap://h:389/o=acme????bindname=cn=a?0xnot-a-password", false, ""},
    };
    for (const Case &c : cases) {
        Session session(c.input);
        EXPECT_EQ(session.opened_with, CS_FAIL) << c.input;
        EXPECT_EQ(session.comp.dcl_status, 1) << c.input;
        EXPECT_EQ(session.comp.dcl_provstatus, 4) << c.input;
        EXPECT_EQ(session.comp.dcl_oserr != 0, c.parser_code) << c.input;
        if (!c.log_line.empty()) {
            EXPECT_TRUE(log_contains(c.log_line)) << c.input;
        }
    }
    EXPECT_TRUE(log_contains("ldap_url_parse failed: ldapret = 3\n"));
}

TEST(InitString, ALongStringIsCutTo512Characters) {
    const std::string base(600, 'x');
    Session session("ldap://h:389/o=" + base);
    ASSERT_EQ(session.opened_with, CS_SUCCEED);
    EXPECT_EQ(std::strlen(session.state().def.ditbase), 512u - std::strlen("ldap://h:389/"));
    EXPECT_TRUE(log_contains("Result will be truncated!\n"));
}

TEST(Open, LogsTheBannerAndTheStringAsPassed) {
    Session session("ldap://h:389/o=acme????bindname=cn=a?pw");
    ASSERT_TRUE(session.opened());
    const std::vector<std::string> messages = log_messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0], "!gdd_open!\n");
    EXPECT_EQ(messages[1],
              "Version = Velmor LDAP directory driver/15.5/P/DRV.15.5.0/Linux x86_64/Linux "
              "2.6.9-55.ELsmp x86_64 Native Threads/BUILD1550-003/64bit/DEBUG/Tue Oct  6 00:19:37 2009\n");
    EXPECT_EQ(messages[2], "init_str=ldap://h:389/o=acme????bindname=cn=a?pw\n");
    EXPECT_TRUE(log_contains("gdd__parse_init_str returning CS_SUCCEED\n"));
}

TEST(Open, NullArgumentsAreFatalStops) {
    DCL_COMP comp{};
    CS_VOID *handle = nullptr;
    CS_INT version = 0;
    EXPECT_DEATH(driver().open(nullptr, CS_NULLTERM, &version, &handle, &comp, nullptr),
                 "assertion failed, file 'generic/src/ldap_driv.cpp'");
    char url[] = "ldap://h:389/o=acme";
    EXPECT_DEATH(driver().open(url, CS_NULLTERM, &version, &handle, nullptr, nullptr),
                 "assertion failed, file 'generic/src/ldap_driv.cpp'");
    EXPECT_DEATH(driver().close(nullptr, &comp), "assertion failed");
}

TEST(Close, AHandleWithoutItsMarkIsRefusedAndLeftAlone) {
    Session session("ldap://h:389/o=acme");
    ASSERT_TRUE(session.opened());
    session.state().magic = 0x12345678;
    DCL_COMP comp = untouched_comp();
    EXPECT_EQ(driver().close(session.handle(), &comp), CS_FAIL);
    EXPECT_EQ(comp.dcl_status, 1);
    EXPECT_EQ(comp.dcl_provstatus, 6);
    EXPECT_EQ(comp.dcl_oserr, 0);
    EXPECT_EQ(session.state().magic, 0x12345678);  // memory still there, untouched
    EXPECT_TRUE(log_contains("*** Invalid handle ***\n"));
    session.state().magic = 0x6C646170;  // let the session close for real
}

namespace {

CS_RETCODE props(Session &session, CS_INT action, CS_INT property, void *buffer, CS_INT length,
                 CS_INT *out) {
    session.comp = untouched_comp();
    return driver().props(session.handle(), action, property, buffer, length, out, &session.comp);
}

}  // namespace

TEST(Props, GetNeedsRoomForTheTerminator) {
    Session session("ldap://h:389/o=acme????bindname=cn=admin?pw");
    char buffer[64] = "untouched";
    CS_INT out = -1;
    const CS_INT length = static_cast<CS_INT>(std::strlen("cn=admin"));
    EXPECT_EQ(props(session, DCL_ACTION_GET, DCL_PROP_BINDDN, buffer, length, &out), CS_FAIL);
    EXPECT_EQ(session.comp.dcl_provstatus, 8);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(out, -1);
    EXPECT_EQ(props(session, DCL_ACTION_GET, DCL_PROP_BINDDN, buffer, length + 1, &out), CS_SUCCEED);
    EXPECT_STREQ(buffer, "cn=admin");
    EXPECT_EQ(out, length);
    EXPECT_EQ(session.comp.dcl_status, -11);
}

TEST(Props, SetAndClearChangeOnlyTheCurrentValues) {
    Session session("ldap://h:389/o=acme????bindname=cn=admin?original");
    char password[] = "changed password";
    EXPECT_EQ(props(session, DCL_ACTION_SET, DCL_PROP_PASSWORD, password, CS_NULLTERM, nullptr),
              CS_SUCCEED);
    EXPECT_STREQ(session.state().cur.password, "changed password");
    EXPECT_STREQ(session.state().def.password, "original");

    const std::string too_long(513, 'p');
    EXPECT_EQ(props(session, DCL_ACTION_SET, DCL_PROP_PASSWORD, const_cast<char *>(too_long.c_str()),
                    513, nullptr),
              CS_FAIL);
    EXPECT_EQ(session.comp.dcl_provstatus, 8);
    EXPECT_STREQ(session.state().cur.password, "changed password");
    EXPECT_EQ(props(session, DCL_ACTION_SET, DCL_PROP_PASSWORD, password, -3, nullptr), CS_FAIL);

    EXPECT_EQ(props(session, DCL_ACTION_CLEAR, DCL_PROP_PASSWORD, nullptr, 0, nullptr), CS_SUCCEED);
    EXPECT_STREQ(session.state().cur.password, "original");

    char base[] = "ou=other,o=acmeTRAILING";
    EXPECT_EQ(props(session, DCL_ACTION_SET, DCL_PROP_DITBASE, base, 15, nullptr), CS_SUCCEED);
    EXPECT_STREQ(session.state().cur.ditbase, "ou=other,o=acme");
    EXPECT_TRUE(log_contains("gdd__prop_string SETting curstring \"ou=other,o=acme\"\n"));
}

TEST(Props, FixedAndUnknownProperties) {
    Session session("ldap://h:389/o=acme");
    char buffer[64] = {};
    CS_INT out = -1;
    EXPECT_EQ(props(session, DCL_ACTION_GET, DCL_PROP_DRIVER_NAME, buffer, sizeof buffer, &out),
              CS_SUCCEED);
    EXPECT_STREQ(buffer, "ldapdrv");
    EXPECT_EQ(out, 7);
    EXPECT_EQ(props(session, DCL_ACTION_GET, DCL_PROP_LOCATION_FILE, buffer, sizeof buffer, &out),
              CS_SUCCEED);
    EXPECT_STREQ(buffer, "dcllib.loc");
    EXPECT_EQ(props(session, DCL_ACTION_SET, DCL_PROP_LOCATION_FILE, buffer, CS_NULLTERM, &out),
              CS_FAIL);
    EXPECT_EQ(props(session, DCL_ACTION_CLEAR, DCL_PROP_DRIVER_NAME, buffer, 0, &out), CS_FAIL);

    CS_INT answer = -1;
    EXPECT_EQ(props(session, DCL_ACTION_SUPPORTED, 12, &answer, 0, &out), CS_SUCCEED);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(out, 4);
    EXPECT_EQ(props(session, DCL_ACTION_SUPPORTED, DCL_PROP_DITBASE, &answer, 0, &out), CS_SUCCEED);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(props(session, DCL_ACTION_GET, 12, buffer, sizeof buffer, &out), CS_FAIL);
    EXPECT_EQ(session.comp.dcl_provstatus, 8);
    EXPECT_EQ(session.comp.dcl_oserr, 0);
    EXPECT_EQ(props(session, 99, DCL_PROP_BINDDN, buffer, sizeof buffer, &out), CS_FAIL);
}

TEST(Props, AnInvalidHandleIsRefusedBeforeAnything) {
    Session session("ldap://h:389/o=acme");
    session.state().magic = 0;
    char buffer[16];
    CS_INT out;
    EXPECT_EQ(props(session, DCL_ACTION_GET, DCL_PROP_DRIVER_NAME, buffer, sizeof buffer, &out),
              CS_FAIL);
    EXPECT_EQ(session.comp.dcl_provstatus, 6);
    EXPECT_FALSE(log_contains("!gdd_props!\n"));
    session.state().magic = 0x6C646170;
}
