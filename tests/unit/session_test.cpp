// Sessions through the built driver: the initialisation string, open and
// close, and the session properties.  URLs are split by the real OpenLDAP
// client library.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>

#include "support/host_object.h"
#include "support/loaded_driver.h"
#include "support/log_file.h"
#include "support/session.h"

namespace {

CS_RETCODE props(Session &session, CS_INT action, CS_INT property, void *buffer, CS_INT length, CS_INT *out) {
    session.comp = untouched_comp();
    return driver().props(session.handle(), action, property, buffer, length, out, &session.comp);
}

// The default properties in one line: scheme server port base user password retry delay starttls.
std::string parsed(const DLDAP_PROPS &def) {
    return std::string(def.ldapscheme) + " " + def.ldapserver + " " + std::to_string(def.ldapportnumber) + " " +
           def.ditbase + " " + def.username + " " + def.password + " " + std::to_string(def.retrycount) + " " +
           std::to_string(def.delay) + " " + std::to_string(def.starttls);
}

}  // namespace

TEST(InitString, AcceptedFormsFillTheDefaultProperties) {
    const std::pair<std::string, std::string> cases[] = {
        {"ldap://dirhost:1389/o=acme", "ldap dirhost 1389 o=acme   0 0 0"},
        {"retry=3\tdelay=10  starttls ldap://h:389/o=acme", "ldap h 389 o=acme   3 10 1"},
        {"retry=5x retry=7 ldap://h:389/o=acme", "ldap h 389 o=acme   7 0 0"},
        {"ldaps://h:636/o=acme", "ldaps h 636 o=acme   0 0 0"},
        {"ldap:///o=acme", "ldap localhost 389 o=acme   0 0 0"},
        {"ldap://h/o=acme", "ldap h 389 o=acme   0 0 0"},
        {"ldap://h:389/o=acme????bindname=cn=admin,o=acme?s3cret pass",
         "ldap h 389 o=acme cn=admin,o=acme s3cret pass 0 0 0"},
        {"ldap://h:389/o=acme????bindname=cn=a???pw?ignored", "ldap h 389 o=acme cn=a pw 0 0 0"},
        // Without a password the session binds anonymously, whatever the DN.
        {"ldap://h:389/o=acme????bindname=cn=a", "ldap h 389 o=acme   0 0 0"},
        {"ldap://h:389/o=acme???", "ldap h 389 o=acme   0 0 0"},
        // A "?" inside an option counts toward the four.
        {"delay=1? ldap://h:389/o=acme???bindname=cn=a?pw", "ldap h 389 o=acme cn=a pw 0 1 0"},
        {"ldap://h:389/o=acme????bindname=cn=a?0Xliteral", "ldap h 389 o=acme cn=a 0Xliteral 0 0 0"},
        // One line feed at the end is dropped; a carriage return before it stays.
        {"ldap://h:389/o=acme????bindname=cn=a?pw\r\n", "ldap h 389 o=acme cn=a pw\r 0 0 0"},
        // The whole string is cut to 512 characters first.
        {"ldap://h:389/o=" + std::string(600, 'x'), "ldap h 389 o=" + std::string(497, 'x') + "   0 0 0"},
    };
    for (const auto &[input, expected] : cases) {
        Session session(input);
        ASSERT_EQ(session.opened_with, CS_SUCCEED) << input;
        EXPECT_EQ(parsed(session.state().def), expected);
        EXPECT_EQ(std::memcmp(&session.state().cur, &session.state().def, sizeof(DLDAP_PROPS)), 0) << input;
        EXPECT_EQ(session.version, 15501);
        EXPECT_EQ(session.state().ld, nullptr);
        EXPECT_STREQ(session.state().RDNAttribName, "velmorServername");
        EXPECT_EQ(session.comp.dcl_status, -11) << "success leaves the completion record alone";
    }
    EXPECT_TRUE(log_contains("init_str ended with a \\n\n"));
    EXPECT_TRUE(log_contains("Using \"localhost\" instead.\n"));
    EXPECT_TRUE(log_contains("Result will be truncated!\n"));
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
        EXPECT_EQ(codes(session.comp), std::tuple(21, -22, -33)) << c.input;
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
        const DCL_COMP &comp = session.comp;
        EXPECT_EQ(std::tuple(comp.dcl_status, comp.dcl_provstatus, comp.dcl_oserr != 0),
                  std::tuple(1, 4, c.parser_code))
            << c.input;
        EXPECT_TRUE(c.log_line.empty() || log_contains(c.log_line)) << c.input;
    }
    EXPECT_TRUE(log_contains("ldap_url_parse failed: ldapret = 3\n"));
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
                 "assertion failed, file 'generic/src/ldap_driv.cpp' line [0-9]+");
    char url[] = "ldap://h:389/o=acme";
    EXPECT_DEATH(driver().open(url, CS_NULLTERM, &version, &handle, nullptr, nullptr),
                 "assertion failed, file 'generic/src/ldap_driv.cpp'");
    // The shared preamble names the entry point's position, not its own.
    EXPECT_DEATH(driver().close(nullptr, &comp), "assertion failed, file 'generic/src/ldap_driv.cpp'");
}

// The preamble every entry point but open shares: a handle without its mark
// is refused with code 6 and left alone (not freed, not unbound).
TEST(EntryPoints, EachRefusesAHandleWithoutItsMark) {
    Session session("ldap://h:389/o=acme");
    ASSERT_TRUE(session.opened());
    session.state().magic = 0x12345678;
    CS_VOID *const handle = session.handle();
    char name[] = "srv1", buffer[16];
    CS_INT out = -1;
    DCL_RESULT *result = nullptr;
    HostObject object;
    const std::function<CS_RETCODE(DCL_COMP *)> calls[] = {
        [&](DCL_COMP *comp) { return driver().close(handle, comp); },
        [&](DCL_COMP *comp) { return driver().bind(handle, comp); },
        [&](DCL_COMP *comp) { return driver().unbind(handle, comp); },
        [&](DCL_COMP *comp) { return driver().read(handle, name, 4, &result, comp); },
        [&](DCL_COMP *comp) { return driver().search(handle, nullptr, &result, comp); },
        [&](DCL_COMP *comp) { return driver().add_entry(handle, name, 4, object.object(), comp); },
        [&](DCL_COMP *comp) { return driver().modify_entry(handle, name, 4, object.object(), comp); },
        [&](DCL_COMP *comp) { return driver().delete_entry(handle, name, 4, comp); },
        [&](DCL_COMP *comp) {
            return driver().props(handle, DCL_ACTION_GET, DCL_PROP_DRIVER_NAME, buffer, sizeof buffer, &out, comp);
        },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i) {
        DCL_COMP comp = untouched_comp();
        EXPECT_EQ(calls[i](&comp), CS_FAIL) << i;
        EXPECT_EQ(codes(comp), std::tuple(1, 6, 0)) << i;
    }
    EXPECT_EQ(log_count("*** Invalid handle ***\n"), 9);
    EXPECT_EQ(session.state().magic, 0x12345678);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(out, -1);
    session.state().magic = DLDAP_MAGIC;  // let the session close for real
}

TEST(Props, GetSetAndClearActOnTheCurrentValuesOnly) {
    Session session("ldap://h:389/o=acme????bindname=cn=admin?original");
    const DLDAP_PROPS &cur = session.state().cur;
    constexpr CS_INT GET = DCL_ACTION_GET, SET = DCL_ACTION_SET, CLEAR = DCL_ACTION_CLEAR;
    struct Case {
        CS_INT action, property;
        std::string buffer;
        CS_INT length;
        CS_RETCODE returned;
        const char *seen;  // where the value is seen afterwards; null: in the buffer
        std::string value;
        CS_INT out;
    };
    const Case cases[] = {
        {GET, DCL_PROP_BINDDN, "untouched", 8, CS_FAIL, nullptr, "untouched", -1},  // no room for the terminator
        {GET, DCL_PROP_BINDDN, "", 9, CS_SUCCEED, nullptr, "cn=admin", 8},
        {SET, DCL_PROP_PASSWORD, "changed", CS_NULLTERM, CS_SUCCEED, cur.password, "changed", -1},
        {SET, DCL_PROP_PASSWORD, std::string(513, 'p'), 513, CS_FAIL, cur.password, "changed", -1},
        {SET, DCL_PROP_PASSWORD, "x", -3, CS_FAIL, cur.password, "changed", -1},
        {CLEAR, DCL_PROP_PASSWORD, "", 0, CS_SUCCEED, cur.password, "original", -1},
        {SET, DCL_PROP_DITBASE, "ou=other,o=acmeTRAILING", 15, CS_SUCCEED, cur.ditbase, "ou=other,o=acme", -1},
        {GET, DCL_PROP_DRIVER_NAME, "", 64, CS_SUCCEED, nullptr, "ldapdrv", 7},
        {GET, DCL_PROP_LOCATION_FILE, "", 64, CS_SUCCEED, nullptr, "dcllib.loc", 10},
        {SET, DCL_PROP_LOCATION_FILE, "x", CS_NULLTERM, CS_FAIL, nullptr, "x", -1},
        {CLEAR, DCL_PROP_DRIVER_NAME, "x", 0, CS_FAIL, nullptr, "x", -1},
        {GET, 12, "x", 64, CS_FAIL, nullptr, "x", -1},
        {99, DCL_PROP_BINDDN, "x", 64, CS_FAIL, cur.username, "cn=admin", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.action) + "/" + std::to_string(c.property) + " " + c.buffer.substr(0, 20));
        char buffer[600] = {};
        c.buffer.copy(buffer, c.buffer.size());
        CS_INT out = -1;
        EXPECT_EQ(props(session, c.action, c.property, buffer, c.length, &out), c.returned);
        EXPECT_STREQ(c.seen ? c.seen : buffer, c.value.c_str());
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(codes(session.comp), c.returned == CS_FAIL ? std::tuple(1, 8, 0) : codes(untouched_comp()));
    }
    EXPECT_STREQ(session.state().def.password, "original");
    EXPECT_TRUE(log_contains("gdd__prop_string SETting curstring \"ou=other,o=acme\"\n"));

    CS_INT answer = -1, out = -1;
    EXPECT_EQ(props(session, DCL_ACTION_SUPPORTED, 12, &answer, 0, &out), CS_SUCCEED);
    EXPECT_EQ(std::pair(answer, out), std::pair(0, 4));
    EXPECT_EQ(props(session, DCL_ACTION_SUPPORTED, DCL_PROP_DITBASE, &answer, 0, &out), CS_SUCCEED);
    EXPECT_EQ(answer, 1);
}
