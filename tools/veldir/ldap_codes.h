/*
 * Texts for the numbers the LDAP client library and the directory put into a
 * failure report: LDAP result codes (positive, from the server), the client
 * library's own negative codes, and the URL parser's codes.  veldir does not
 * link an LDAP library, so it keeps the common ones here.
 */
#ifndef VELDIR_LDAP_CODES_H
#define VELDIR_LDAP_CODES_H

#include <string>
#include <string_view>

struct LdapCode {
    int number;
    std::string_view name;  // protocol name, e.g. "invalidCredentials"
    std::string_view text;  // what it means, e.g. "Invalid credentials"
};

// The entry for an LDAP result or client code, or null for an unknown number.
const LdapCode *find_ldap_code(int number);

// "49 invalidCredentials: Invalid credentials", or "LDAP error 99" when unknown.
std::string describe_ldap_code(int number);

// "3 LDAP_URL_ERR_BADSCHEME: the URL does not begin with ldap://, ldaps:// or ldapi://".
std::string describe_url_parse_code(int number);

#endif
