/*
 * The initialisation string read as the driver reads it (the one tokenizer
 * of include/veldldap/init_string.h, with the client library deciding what
 * is an LDAP URL, as in the driver), to say in words what the driver would
 * only refuse or silently take otherwise: a scheme it does not know, an
 * option it would read only in part, an enciphered password that is not
 * one, a bind DN that binds anonymously for want of a password.
 */
#ifndef VELDIR_INIT_STRING_CHECK_H
#define VELDIR_INIT_STRING_CHECK_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veldldap/init_string.h"

// The layout of `init` with ldap_is_ldap_url as the URL test.
veldldap::init_string::Layout init_layout(std::string_view init);

// The bind DN after bindname=, or "" when the string gives none.
std::string bind_dn_of(std::string_view init);

// Whether the string carries a password piece (clear or enciphered).
bool has_password(std::string_view init);

// Whether "starttls" is among the options before the URL.
bool uses_starttls(std::string_view init);

// The server a string names, as the client library parses its URL.
struct ServerAddress {
    std::string scheme;  // lower case
    std::string host;
    int port = 0;
    std::string host_port() const;  // "host:port"
    std::string url() const;        // "scheme://host:port"
};
std::optional<ServerAddress> server_address(std::string_view init);

// How veldir names the server of a string in its reports: its URL's scheme,
// host and port, never the bind DN or the password.
std::string server_label(std::string_view init);

// Things the driver takes without a word but reads other than written.
std::vector<std::string> init_string_warnings(std::string_view init);

// What is wrong with a string the driver refused, in words; "" when veldir
// sees nothing more specific than the driver's report.
std::string init_string_problem(std::string_view init);

#endif
