/*
 * Words for the numbers that come with a driver failure: LDAP result codes
 * (positive, from the server) and the client library's own negative codes,
 * in the client library's own texts (ldap_err2string) with the protocol's
 * name of the code; and the URL parser's codes from the public failure-code
 * table.
 */
#ifndef VELDIR_LDAP_CODES_H
#define VELDIR_LDAP_CODES_H

#include <string>

// The number, the protocol's name of the code and ldap_err2string's text, e.g. for 49:
// "49 invalidCredentials: " and the library's text; the name is left out where the protocol has none.
std::string describe_ldap_code(int number);

// "3 (logged as LDAP_URL_ERR_BADSCOPE): the text does not begin with ldap://, ldaps:// or ldapi://".
std::string describe_url_parse_code(int number);

#endif
