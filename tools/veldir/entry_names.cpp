#include "entry_names.h"

#include <ldap.h>
#include <strings.h>

#include <cctype>
#include <memory>

#include "schema.h"
#include "utf8.h"
#include "veldldap/init_string.h"

namespace {

// libldap's RFC 4514 writing; UTF-8 stays readable, special characters become \XX.
constexpr unsigned kDnFormat = LDAP_DN_FORMAT_LDAPV3 | LDAP_DN_PRETTY;

struct DnFree {
    void operator()(LDAPDN dn) const { ldap_dnfree(dn); }
};
using ParsedDn = std::unique_ptr<LDAPRDN, DnFree>;

std::string taken_text(char *text) {
    std::string copy = text == nullptr ? "" : text;
    ldap_memfree(text);
    return copy;
}

// "velmorServername=VALUE" with VALUE escaped.
std::optional<std::string> naming_rdn(std::string_view value) {
    std::string type(kNamingAttribute);
    LDAPAVA ava{};
    ava.la_attr.bv_val = type.data();
    ava.la_attr.bv_len = type.size();
    std::string copy(value);
    ava.la_value.bv_val = copy.data();
    ava.la_value.bv_len = copy.size();
    ava.la_flags = LDAP_AVA_STRING;
    LDAPAVA *rdn[] = {&ava, nullptr};
    char *text = nullptr;
    if (ldap_rdn2str(rdn, &text, kDnFormat) != LDAP_SUCCESS) return std::nullopt;
    return taken_text(text);
}

ParsedDn parse_dn(std::string_view dn) {
    const std::string text(dn);
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(text.c_str(), &parsed, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) return nullptr;
    return ParsedDn(parsed);
}

std::string_view text_of(const berval &value) { return {value.bv_val, value.bv_len}; }

bool same_word(std::string_view left, std::string_view right) {
    return left.size() == right.size() && ::strncasecmp(left.data(), right.data(), left.size()) == 0;
}

std::optional<EntryName> checked(EntryName name, std::string &error) {
    if (name.dn.size() > kMaxDnBytes) {
        error = "the distinguished name " + name.dn + " has " + std::to_string(name.dn.size()) +
                " bytes; the driver takes at most 512";
        return std::nullopt;
    }
    return name;
}

std::string joined(const std::string &rdn, std::string_view parent) {
    return parent.empty() ? rdn : rdn + "," + std::string(parent);
}

}  // namespace

std::optional<EntryName> entry_name_below(std::string_view value, std::string_view base, std::string &error) {
    if (value.empty()) {
        error = "the entry has no name";
        return std::nullopt;
    }
    if (const std::optional<std::size_t> bad = first_invalid_utf8(value)) {
        error = "the name is not valid UTF-8 (byte " + std::to_string(*bad + 1) + ")";
        return std::nullopt;
    }
    const std::optional<std::string> rdn = naming_rdn(value);
    if (!rdn) {
        error = "\"" + std::string(value) + "\" cannot be written as a distinguished name";
        return std::nullopt;
    }
    return checked({joined(*rdn, base), std::string(value)}, error);
}

std::optional<EntryName> entry_name_from_dn(std::string_view dn, const std::optional<std::string> &new_base,
                                            std::string &error) {
    if (const std::optional<std::size_t> bad = first_invalid_utf8(dn)) {
        error = "the distinguished name is not valid UTF-8 (byte " + std::to_string(*bad + 1) + ")";
        return std::nullopt;
    }
    const ParsedDn parsed = parse_dn(dn);
    if (!parsed || parsed.get()[0] == nullptr) {
        error = "\"" + std::string(dn) + "\" is not a distinguished name";
        return std::nullopt;
    }
    const LDAPRDN first = parsed.get()[0];
    if (first[1] != nullptr || !same_word(text_of(first[0]->la_attr), kNamingAttribute)) {
        error = "\"" + std::string(dn) + "\" is not a server entry: its relative name must be " +
                std::string(kNamingAttribute) + "=NAME alone";
        return std::nullopt;
    }
    std::string parent;
    if (new_base) {
        parent = *new_base;
    } else if (parsed.get()[1] != nullptr) {
        char *text = nullptr;
        if (ldap_dn2str(parsed.get() + 1, &text, kDnFormat) != LDAP_SUCCESS) {
            error = "\"" + std::string(dn) + "\" is not a distinguished name";
            return std::nullopt;
        }
        parent = taken_text(text);
    }
    return entry_name_below(text_of(first[0]->la_value), parent, error);
}

std::optional<EntryName> entry_name(std::string_view name, std::string_view base, std::string &error) {
    if (is_server_dn(name)) return entry_name_from_dn(name, std::nullopt, error);
    return entry_name_below(name, base, error);
}

std::optional<std::string> relative_name_of(std::string_view dn) {
    const ParsedDn parsed = parse_dn(dn);
    if (!parsed || parsed.get()[0] == nullptr) return std::nullopt;
    return std::string(text_of(parsed.get()[0][0]->la_value));
}

std::string comparison_key(const EntryName &name) {
    std::string key = name.dn;
    for (char &c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

std::optional<std::string> url_base_dn(const std::string &init) {
    namespace grammar = veldldap::init_string;
    const grammar::Layout layout =
        grammar::layout(init, [](std::string_view token) { return ldap_is_ldap_url(std::string(token).c_str()) != 0; });
    if (!layout.has_url) return std::nullopt;
    LDAPURLDesc *url = nullptr;
    if (ldap_url_parse(std::string(layout.url.of(layout.text)).c_str(), &url) != LDAP_URL_SUCCESS) return std::nullopt;
    std::optional<std::string> base;
    if (url->lud_dn != nullptr) base = url->lud_dn;
    ldap_free_urldesc(url);
    return base;
}
