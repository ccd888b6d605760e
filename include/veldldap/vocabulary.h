/*
 * The server-entry vocabulary, written once: the object class, the naming
 * attribute and the sixteen attributes with their OIDs and value syntaxes.
 * The driver builds its lookup tables from these rows at compile time;
 * veldir, the tests, the benchmarks and the fuzzers include them; a test
 * checks the schema files against them.
 *
 * The rows are an X-macro, usable from C; C++ gets constexpr tables and the
 * lookups everybody needs.  Nothing here knows LDAP types.
 */
#ifndef VELDLDAP_VOCABULARY_H
#define VELDLDAP_VOCABULARY_H

#include "dspublic.h"

#define VELDLDAP_SERVER_CLASS_NAME "velmorServer"
#define VELDLDAP_SERVER_CLASS_OID "1.3.6.1.4.1.32473.4.1.1"
#define VELDLDAP_NAMING_ATTRIBUTE "velmorServername"
/* Every attribute OID is this arc followed by the row's last arc. */
#define VELDLDAP_ATTRIBUTE_ARC "1.3.6.1.4.1.32473.4.2."

/* X(LDAP name, last arc of the OID, DCL syntax), in the order every search
   asks for them. */
#define VELDLDAP_ATTRIBUTES(X)                               \
    X(velmorVersion, 1, DCL_SYNTAX_INTEGER)                  \
    X(velmorServername, 2, DCL_SYNTAX_STRING)                \
    X(velmorService, 3, DCL_SYNTAX_STRING)                   \
    X(velmorStatus, 4, DCL_SYNTAX_INTEGER)                   \
    X(velmorAddress, 5, DCL_SYNTAX_TRANADDR)                 \
    X(velmorSecurity, 6, DCL_SYNTAX_OID)                     \
    X(velmorRetryCount, 7, DCL_SYNTAX_INTEGER)               \
    X(velmorRetryDelay, 8, DCL_SYNTAX_INTEGER)               \
    X(velmorJcourierProtocol, 9, DCL_SYNTAX_STRING)          \
    X(velmorJcourierProperty, 10, DCL_SYNTAX_STRING)         \
    X(velmorDatabaseName, 11, DCL_SYNTAX_STRING)             \
    X(velmorHAservername, 15, DCL_SYNTAX_STRING)             \
    X(velmorResourceManagerName, 16, DCL_SYNTAX_STRING)      \
    X(velmorResourceManagerType, 17, DCL_SYNTAX_INTEGER)     \
    X(velmorJdbcDataSourceInterface, 18, DCL_SYNTAX_STRING)  \
    X(velmorServerType, 19, DCL_SYNTAX_STRING)

/* The OID of one row, as a literal: VELDLDAP_ATTRIBUTE_OID(2) is the naming attribute's. */
#define VELDLDAP_ATTRIBUTE_OID(last_arc) VELDLDAP_ATTRIBUTE_ARC #last_arc
#define VELDLDAP_NAMING_ATTRIBUTE_OID VELDLDAP_ATTRIBUTE_OID(2)

#ifdef __cplusplus
#include <cstddef>
#include <string_view>

namespace veldldap::vocabulary {

struct Attribute {
    std::string_view name;  // the LDAP name; both views are literals, so data() is terminated
    std::string_view oid;
    CS_INT syntax;          // DCL_SYNTAX_*
    int last_arc;
};

inline constexpr std::string_view kServerClassName = VELDLDAP_SERVER_CLASS_NAME;
inline constexpr std::string_view kServerClassOid = VELDLDAP_SERVER_CLASS_OID;
inline constexpr std::string_view kNamingAttribute = VELDLDAP_NAMING_ATTRIBUTE;
inline constexpr std::string_view kNamingAttributeOid = VELDLDAP_NAMING_ATTRIBUTE_OID;
inline constexpr std::string_view kAttributeArc = VELDLDAP_ATTRIBUTE_ARC;

#define VELDLDAP_VOCABULARY_ROW(name, arc, syntax) {#name, VELDLDAP_ATTRIBUTE_OID(arc), syntax, arc},
inline constexpr Attribute kAttributes[] = {VELDLDAP_ATTRIBUTES(VELDLDAP_VOCABULARY_ROW)};
#undef VELDLDAP_VOCABULARY_ROW
inline constexpr std::size_t kAttributeCount = sizeof kAttributes / sizeof kAttributes[0];

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// LDAP attribute names compare ignoring (ASCII) letter case.
constexpr bool same_name(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i)
        if (ascii_lower(left[i]) != ascii_lower(right[i])) return false;
    return true;
}

// The row of an LDAP name (any letter case) or of an exact OID, or null.
constexpr const Attribute *find(std::string_view name_or_oid) {
    for (const Attribute &attribute : kAttributes)
        if (attribute.oid == name_or_oid || same_name(attribute.name, name_or_oid)) return &attribute;
    return nullptr;
}

// Position in the vocabulary's order; kAttributeCount for names outside it.
constexpr std::size_t position(std::string_view name_or_oid) {
    const Attribute *attribute = find(name_or_oid);
    return attribute == nullptr ? kAttributeCount : static_cast<std::size_t>(attribute - kAttributes);
}

// The driver takes a name as a distinguished name when it begins with the
// naming attribute spelled exactly so, followed by "=".  Any other name is a
// server name below the session's search base.
constexpr bool is_server_dn(std::string_view name) {
    return name.size() > kNamingAttribute.size() && name.starts_with(kNamingAttribute) &&
           name[kNamingAttribute.size()] == '=';
}

// The same test with the attribute in any letter case, as users type it; the
// driver needs such a name respelled (respell_server_dn) to see a DN in it.
constexpr bool is_server_dn_any_case(std::string_view name) {
    return name.size() > kNamingAttribute.size() && same_name(name.substr(0, kNamingAttribute.size()), kNamingAttribute) &&
           name[kNamingAttribute.size()] == '=';
}

}  // namespace veldldap::vocabulary
#endif

#endif
