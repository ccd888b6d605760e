/*
 * The server-entry vocabulary as veldir's users write it: the attributes of
 * the one vocabulary header by LDAP name or OID, and the friendly text of
 * each syntax (decimal integers, dotted OIDs, transport addresses as
 * "TYPE#ACCESS#ADDRESS").  Both directions: checking a user's text before it
 * becomes a DCL value, and turning a DCL value back into the same text.
 */
#ifndef VELDIR_SCHEMA_H
#define VELDIR_SCHEMA_H

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "veldldap/dspublic.h"
#include "veldldap/vocabulary.h"

using AttributeSpec = veldldap::vocabulary::Attribute;
using veldldap::vocabulary::kNamingAttribute;
using veldldap::vocabulary::kServerClassName;
using veldldap::vocabulary::kServerClassOid;

// All attributes, in the vocabulary's order.
std::span<const AttributeSpec> server_attributes();

// By LDAP name (any letter case) or by exact OID; null when not in the vocabulary.
constexpr const AttributeSpec *find_attribute(std::string_view name_or_oid) {
    return veldldap::vocabulary::find(name_or_oid);
}

// Position in the vocabulary's order, for sorting; attributes outside it sort last.
constexpr std::size_t schema_position(std::string_view name_or_oid) {
    return veldldap::vocabulary::position(name_or_oid);
}

// "integer", "string", "OID", "transport address".
std::string_view syntax_name(CS_INT syntax);

// Checks a user's text for an attribute of `definition`'s syntax; the error in words, or nullopt.
std::optional<std::string> check_value(const AttributeSpec &definition, std::string_view text);

// Strict decimal 32-bit integer: optional sign, digits only.
std::optional<CS_INT> parse_integer(std::string_view text);

// "TYPE#ACCESS#ADDRESS" into a transport address; nullopt and `error` when malformed.
std::optional<DCL_TRANADDR> parse_transport_address(std::string_view text, std::string &error);

// The friendly text of a transport address: "TYPE#ACCESS#ADDRESS".
std::string format_transport_address(const DCL_TRANADDR &address);

// The friendly text of one value of the given syntax.
std::string format_value(CS_INT syntax, const DCL_ATTRVALUE &value);

// Whether the user's name is a distinguished name: it begins with the
// naming attribute (any letter case) and "=".  Any other name is a server
// name; entry_names.h builds the DN of either.
bool is_server_dn(std::string_view name);

#endif
