#include "init_string_check.h"

#include <ldap.h>

#include <algorithm>
#include <cctype>

namespace grammar = veldldap::init_string;

namespace {

constexpr std::string_view kStoredPrefix = "0x01";
constexpr std::size_t kStoredLength = 70;

bool is_ldap_url(std::string_view token) { return ldap_is_ldap_url(std::string(token).c_str()) != 0; }

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A retry=, delay= or starttls token with more after the part the driver reads.
std::string ignored_rest(const grammar::Token &token, std::string_view text) {
    const std::string_view word = token.span.of(text);
    if (token.kind == grammar::TokenKind::starttls) return std::string(word.substr(grammar::kStartTlsPrefix.size()));
    const std::size_t digits = word.find_first_not_of("0123456789", word.find('=') + 1);
    return digits == std::string_view::npos ? "" : std::string(word.substr(digits));
}

std::string read_part(const grammar::Token &token, std::string_view text, const std::string &rest) {
    const std::string_view word = token.span.of(text);
    return std::string(word.substr(0, word.size() - rest.size()));
}

// Why a token in front of the URL is not one the driver takes.
std::string token_problem(const grammar::Token &token, std::string_view text, bool first) {
    const std::string_view word = token.span.of(text);
    if (word.empty() && first) return "the string begins with a blank, which the driver refuses";
    if (token.kind == grammar::TokenKind::retry || token.kind == grammar::TokenKind::delay) {
        if (!grammar::option_value(word).valid)
            return quoted(word) + " needs a decimal number after the =";
        return "";
    }
    if (token.kind != grammar::TokenKind::other) return "";
    const std::size_t scheme_end = word.find("://");
    if (scheme_end != std::string_view::npos)
        return quoted(word.substr(0, scheme_end)) +
               " is not a scheme of LDAP URLs: the URL must begin with ldap:// or ldaps://";
    if (word.find('/') != std::string_view::npos || word.find(':') != std::string_view::npos)
        return quoted(word) + " has no scheme: write the URL as ldap://HOST:PORT/BASE-DN (or ldaps://)";
    return quoted(word) + " is no option: the options before the URL are retry=N, delay=N and starttls";
}

std::string stored_password_problem(std::string_view password) {
    if (!password.starts_with("0x")) return "";
    const std::string lead =
        "the password begins with 0x, so the driver takes it for an enciphered one (\"0x01\" and 66 hexadecimal "
        "digits, 70 characters in all), but ";
    const std::string remedy = "; a clear password cannot begin with 0x: give it with --password-file or -W";
    if (!password.starts_with(kStoredPrefix)) return lead + "it does not begin with 0x01" + remedy;
    if (password.size() != kStoredLength)
        return lead + "it has " + std::to_string(password.size()) + " characters" + remedy;
    const auto bad = std::find_if(password.begin() + static_cast<std::ptrdiff_t>(kStoredPrefix.size()),
                                  password.end(), [](char c) { return !std::isxdigit(static_cast<unsigned char>(c)); });
    if (bad != password.end())
        return lead + "its character " + std::to_string(bad - password.begin() + 1) + " is no hexadecimal digit" +
               remedy;
    return "";
}

}  // namespace

grammar::Layout init_layout(std::string_view init) { return grammar::layout(init, is_ldap_url); }

std::string bind_dn_of(std::string_view init) {
    const grammar::Layout layout = init_layout(init);
    const std::string_view piece = layout.extensions.bind_name.of(layout.text);
    if (!piece.starts_with(grammar::kBindNamePrefix)) return "";
    return std::string(piece.substr(grammar::kBindNamePrefix.size()));
}

bool has_password(std::string_view init) {
    const grammar::Layout layout = init_layout(init);
    return !layout.extensions.password.empty();
}

bool uses_starttls(std::string_view init) {
    grammar::Scanner scanner(grammar::working_copy(init), is_ldap_url);
    while (!scanner.at_end())
        if (scanner.next().kind == grammar::TokenKind::starttls) return true;
    return false;
}

std::string ServerAddress::host_port() const { return host + ":" + std::to_string(port); }

std::string ServerAddress::url() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return scheme + "://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<ServerAddress> server_address(std::string_view init) {
    const grammar::Layout layout = init_layout(init);
    if (!layout.has_url) return std::nullopt;
    LDAPURLDesc *url = nullptr;
    if (ldap_url_parse(std::string(layout.url.of(layout.text)).c_str(), &url) != LDAP_URL_SUCCESS) return std::nullopt;
    ServerAddress address;
    address.scheme = url->lud_scheme != nullptr ? url->lud_scheme : "ldap";
    std::transform(address.scheme.begin(), address.scheme.end(), address.scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    address.host = url->lud_host != nullptr && url->lud_host[0] != '\0' ? url->lud_host : "localhost";
    address.port = url->lud_port != 0 ? url->lud_port : grammar::is_ldaps_scheme(address.scheme) ? 636 : 389;
    ldap_free_urldesc(url);
    return address;
}

std::string server_label(std::string_view init) {
    if (const std::optional<ServerAddress> address = server_address(init)) return address->url();
    return "(a string without a usable URL)";
}

std::vector<std::string> init_string_warnings(std::string_view init) {
    std::vector<std::string> warnings;
    const std::string_view copy = grammar::working_copy(init);
    grammar::Scanner scanner(copy, is_ldap_url);
    while (!scanner.at_end()) {
        const grammar::Token token = scanner.next();
        if (token.kind == grammar::TokenKind::url || token.kind == grammar::TokenKind::other) continue;
        const std::string rest = ignored_rest(token, copy);
        const bool refused = token.kind != grammar::TokenKind::starttls && !grammar::option_value(token.span.of(copy)).valid;
        if (rest.empty() || refused) continue;
        warnings.push_back("the driver reads " + quoted(token.span.of(copy)) + " as " +
                           quoted(read_part(token, copy, rest)) + " and ignores " + quoted(rest) +
                           ": separate options with blanks");
    }
    if (!bind_dn_of(init).empty() && !has_password(init))
        warnings.push_back("the string gives the bind DN " + bind_dn_of(init) +
                           " but no password, so the driver binds anonymously (give the password with "
                           "--password-file FILE or -W)");
    return warnings;
}

std::string init_string_problem(std::string_view init) {
    const grammar::Layout layout = init_layout(init);
    grammar::Scanner scanner(layout.copy, is_ldap_url);
    bool starttls = false;
    for (bool first = true; !scanner.at_end(); first = false) {
        const grammar::Token token = scanner.next();
        if (token.kind == grammar::TokenKind::url) {
            if (starttls && grammar::is_ldaps_scheme(grammar::url_scheme(token.span.of(layout.copy))))
                return "starttls cannot be used with an ldaps:// URL, which is TLS from the start: drop one of them";
            break;
        }
        starttls |= token.kind == grammar::TokenKind::starttls;
        if (std::string problem = token_problem(token, layout.copy, first); !problem.empty()) return problem;
    }
    if (!layout.has_url)
        return "the string has no LDAP URL: after the options comes ldap://HOST:PORT/BASE-DN (or ldaps://)";
    return stored_password_problem(layout.extensions.password.of(layout.text));
}
