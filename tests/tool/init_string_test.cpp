// The initialisation-string grammar on the cases where a copy of it went
// wrong before, and the mask veldir builds from it.  The driver's own
// reading of the same strings (the options before the URL among them) is
// checked in session_test and, for any string, by the fuzz target
// fuzz_mask_init_string.
#include <gtest/gtest.h>

#include <string>

#include "init_string_mask.h"
#include "veldldap/init_string.h"

namespace grammar = veldldap::init_string;

// Usable in constant expressions: a host may check its strings at compile time.
static_assert(grammar::layout("ldap://h/o????bindname=x?pw", grammar::LooksLikeLdapUrl{}).extensions.password ==
              grammar::Span{25, 27});

TEST(InitStringGrammar, PiecesUrlAndMaskAreWhereTheDriverFindsThem) {
    const std::string long_password(600, 'p');
    const std::string long_base(510, 'x');
    const struct {
        std::string input;
        std::string url, bind_name, password, masked;
    } cases[] = {
        {"ldap://h:389/o=acme????bindname=cn=a?pw", "ldap://h:389/o=acme???", "bindname=cn=a", "pw",
         "ldap://h:389/o=acme????bindname=cn=a?****"},
        // One "?" too few: the driver refuses "pw" as a bind name, and the mask hides it.
        {"ldap://h:389/o=acme???bindname=cn=a?pw", "ldap://h:389/o=acme???bindname=cn=a", "pw", "",
         "ldap://h:389/o=acme???bindname=cn=a?****"},
        // Runs of "?" separate as one; later pieces are ignored and stay visible.
        {"ldap://h:389/o=acme?????bindname=cn=a???pw?ignored", "ldap://h:389/o=acme???", "bindname=cn=a", "pw",
         "ldap://h:389/o=acme?????bindname=cn=a???****?ignored"},
        {"ldap://h:389/o=acme????bindname=cn=a", "ldap://h:389/o=acme???", "bindname=cn=a", "",
         "ldap://h:389/o=acme????bindname=cn=a"},
        {"ldap://h:389/o=acme????", "ldap://h:389/o=acme????", "", "", "ldap://h:389/o=acme????"},
        // A "?" in an option counts toward the four.
        {"delay=1? ldap://h:389/o=acme???bindname=cn=a?pw", "ldap://h:389/o=acme??", "bindname=cn=a", "pw",
         "delay=1? ldap://h:389/o=acme???bindname=cn=a?****"},
        // All four in an option: the URL lies inside the password piece, which runs to the end.
        {"starttls?a?b?c?bindname=u?pw ldap://h:1/o=x", "ldap://h:1/o=x", "bindname=u", "pw ldap://h:1/o=x",
         "starttls?a?b?c?bindname=u?****"},
        {"retry=3\tdelay=10  starttls ldap://h:389/o=acme????bindname=cn=a?s3cret pass", "ldap://h:389/o=acme???",
         "bindname=cn=a", "s3cret pass", "retry=3\tdelay=10  starttls ldap://h:389/o=acme????bindname=cn=a?****"},
        {"<URL:LDAPS://h:636/o=acme????bindname=cn=a?pw", "<URL:LDAPS://h:636/o=acme???", "bindname=cn=a", "pw",
         "<URL:LDAPS://h:636/o=acme????bindname=cn=a?****"},
        // The line feed is dropped after the options are read; a carriage return stays in the password.
        {"ldap://h:389/o=acme????bindname=cn=a?pw\r\n", "ldap://h:389/o=acme???", "bindname=cn=a", "pw\r",
         "ldap://h:389/o=acme????bindname=cn=a?****\n"},
        {"retry=1\n", "", "", "", "retry=1\n"},
        // The driver reads 512 characters; the unread rest of a secret is hidden too.
        {"ldap://h:389/o=acme????bindname=cn=a?" + long_password + "?tail", "ldap://h:389/o=acme???",
         "bindname=cn=a", long_password.substr(0, 512 - 37), "ldap://h:389/o=acme????bindname=cn=a?****?tail"},
        {"ldap://h:389/o=" + long_base + "????bindname=cn=a?pw", "ldap://h:389/o=" + long_base.substr(0, 497), "", "",
         "ldap://h:389/o=" + long_base + "????bindname=cn=a?****"},
        {std::string("ldap://h:389/o=acme????bindname=cn=a?p\0w", 40), "ldap://h:389/o=acme???", "bindname=cn=a", "p",
         "ldap://h:389/o=acme????bindname=cn=a?****"},
    };
    for (const auto &c : cases) {
        const grammar::Layout layout = grammar::layout(c.input, grammar::LooksLikeLdapUrl{});
        EXPECT_EQ(layout.url.of(layout.text), c.url) << c.input;
        EXPECT_EQ(layout.extensions.bind_name.of(layout.text), c.bind_name) << c.input;
        EXPECT_EQ(layout.extensions.password.of(layout.text), c.password) << c.input;
        EXPECT_EQ(masked_init_string(c.input), c.masked) << c.input;
    }
}
