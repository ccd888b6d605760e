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

// Each accepted string fills the default properties (and the current ones
// alike) and leaves the completion record alone; a refused option fails with
// status 21 and nothing else; an unusable string fails with code 4 and the
// URL parser's code, if it got that far.
TEST(InitString, IsReadIntoTheDefaultPropertiesOrRefusedWithItsCode) {
    struct Case {
        std::string input;
        std::string parsed;  // empty: refused
        std::tuple<CS_INT, CS_INT, CS_INT> codes = {-11, -22, -33};
        std::string log_line = "";
    };
    const auto refused_option = [](const char *word) {
        return "config file: '" + std::string(word) + "' value must be a positive number!\n";
    };
    const Case cases[] = {
        {"ldap://dirhost:1389/o=acme", "ldap dirhost 1389 o=acme   0 0 0"},
        {"retry=3\tdelay=10  starttls ldap://h:389/o=acme", "ldap h 389 o=acme   3 10 1"},
        {"retry=5x retry=7 ldap://h:389/o=acme", "ldap h 389 o=acme   7 0 0"},
        {"ldaps://h:636/o=acme", "ldaps h 636 o=acme   0 0 0"},
        {"ldap:///o=acme", "ldap localhost 389 o=acme   0 0 0", {-11, -22, -33}, "Using \"localhost\" instead.\n"},
        {"ldap://h/o=acme", "ldap h 389 o=acme   0 0 0"},
        {"ldap://h:389/o=acme????bindname=cn=admin,o=acme?s3cret pass",
         "ldap h 389 o=acme cn=admin,o=acme s3cret pass 0 0 0",
         {-11, -22, -33}, "init_str=ldap://h:389/o=acme????bindname=cn=admin,o=acme?s3cret pass\n"},
        {"ldap://h:389/o=acme????bindname=cn=a???pw?ignored", "ldap h 389 o=acme cn=a pw 0 0 0"},
        // Without a password the session binds anonymously, whatever the DN.
        {"ldap://h:389/o=acme????bindname=cn=a", "ldap h 389 o=acme   0 0 0"},
        {"ldap://h:389/o=acme???", "ldap h 389 o=acme   0 0 0"},
        // A "?" inside an option counts toward the four.
        {"delay=1? ldap://h:389/o=acme???bindname=cn=a?pw", "ldap h 389 o=acme cn=a pw 0 1 0"},
        {"ldap://h:389/o=acme????bindname=cn=a?0Xliteral", "ldap h 389 o=acme cn=a 0Xliteral 0 0 0"},
        // One line feed at the end is dropped; a carriage return before it stays.
        {"ldap://h:389/o=acme????bindname=cn=a?pw\r\n", "ldap h 389 o=acme cn=a pw\r 0 0 0", {-11, -22, -33},
         "init_str ended with a \\n\n"},
        // The whole string is cut to 512 characters first.
        {"ldap://h:389/o=" + std::string(600, 'x'), "ldap h 389 o=" + std::string(497, 'x') + "   0 0 0",
         {-11, -22, -33}, "Result will be truncated!\n"},

        {"retry= ldap://h:389/o=acme", "", {21, -22, -33}, refused_option("retry")},
        {"retry=-1 ldap://h:389/o=acme", "", {21, -22, -33}, refused_option("retry")},
        {"delay=x ldap://h:389/o=acme", "", {21, -22, -33}, refused_option("delay")},
        {"starttls ldaps://h:636/o=acme", "", {21, -22, -33},
         "config file: Option 'starttls' may not be used with an ldaps:// URL\n"},
        {" ldap://h:389/o=acme", "", {21, -22, -33}, "Invalid LDAP option '' in libdsv.cfg\n"},
        {"verbose ldap://h:389/o=acme", "", {21, -22, -33}, "Invalid LDAP option 'verbose' in libdsv.cfg\n"},

        {"", "", {1, 4, 3}, "ldap_url_parse failed: ldapret = 3\n"},
        {"retry=3 delay=1", "", {1, 4, 3}},
        // Nothing after the fourth "?": the URL stays whole, and this library refuses it.
        {"ldap://h:389/o=acme????", "", {1, 4, 10}, "unrecognized LDAP error (10)\n"},
        {"ldap://h:389", "", {1, 4, 0}, "No DN (ditbase) specified!\n"},
        {"ldap://h:389/o=acme????user=cn=a?pw", "", {1, 4, 0}, "Only the bindname extension is accepted\n"},
        {"ldap://h:389/o=acme????bindname=cn=a?0xnot-a-password", "", {1, 4, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        Session session(c.input);
        EXPECT_EQ(codes(session.comp), c.codes);
        EXPECT_TRUE(c.log_line.empty() || log_contains(c.log_line)) << c.log_line;
        if (c.parsed.empty()) {
            EXPECT_EQ(session.opened_with, CS_FAIL);
            EXPECT_FALSE(session.opened());
            EXPECT_EQ(session.version, -1);
            continue;
        }
        ASSERT_EQ(session.opened_with, CS_SUCCEED);
        EXPECT_EQ(parsed(session.state().def), c.parsed);
        EXPECT_EQ(std::memcmp(&session.state().cur, &session.state().def, sizeof(DLDAP_PROPS)), 0);
        EXPECT_EQ(session.version, 15501);
        EXPECT_EQ(session.state().ld, nullptr);
    }
    EXPECT_EQ(log_count("gdd__parse_init_str failed.\n"), 12);
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
