// The server-entry vocabulary as constant tables: the sixteen attributes with
// their OIDs, LDAP names and value syntaxes, and the attribute list every
// search requests.  Mapping a server's attribute name back to an OID and
// finding an attribute's syntax are the two lookups the decoder makes for
// every attribute of every entry, so both avoid walking the table where the
// text itself says which row it can be.
#include <strings.h>

#include <array>
#include <cstring>
#include <string_view>
#include <utility>

#include "ldap_schema.h"

namespace {

struct SchemaAttribute {
    const char *oid;
    const char *name;
    CS_INT syntax;
};

constexpr SchemaAttribute oid_map[] = {
    {"1.3.6.1.4.1.32473.4.2.1", "velmorVersion", DCL_SYNTAX_INTEGER},
    {"1.3.6.1.4.1.32473.4.2.2", "velmorServername", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.3", "velmorService", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.4", "velmorStatus", DCL_SYNTAX_INTEGER},
    {"1.3.6.1.4.1.32473.4.2.5", "velmorAddress", DCL_SYNTAX_TRANADDR},
    {"1.3.6.1.4.1.32473.4.2.6", "velmorSecurity", DCL_SYNTAX_OID},
    {"1.3.6.1.4.1.32473.4.2.7", "velmorRetryCount", DCL_SYNTAX_INTEGER},
    {"1.3.6.1.4.1.32473.4.2.8", "velmorRetryDelay", DCL_SYNTAX_INTEGER},
    {"1.3.6.1.4.1.32473.4.2.9", "velmorJcourierProtocol", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.10", "velmorJcourierProperty", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.11", "velmorDatabaseName", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.15", "velmorHAservername", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.16", "velmorResourceManagerName", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.17", "velmorResourceManagerType", DCL_SYNTAX_INTEGER},
    {"1.3.6.1.4.1.32473.4.2.18", "velmorJdbcDataSourceInterface", DCL_SYNTAX_STRING},
    {"1.3.6.1.4.1.32473.4.2.19", "velmorServerType", DCL_SYNTAX_STRING},
};
constexpr std::size_t kAttributeCount = std::size(oid_map);
static_assert(kAttributeCount == 16);

// Every attribute OID is this arc followed by a short decimal number.
constexpr std::string_view kAttributeArc = "1.3.6.1.4.1.32473.4.2.";
// Every LDAP name starts with this (compared ignoring case, as the names are).
constexpr std::string_view kNamePrefix = "velmor";

// Row of the map for each last arc number, or -1: the OID lookup is one
// array index instead of sixteen comparisons.
constexpr int kLastArcLimit = 20;
constexpr std::array<int, kLastArcLimit> kRowOfLastArc = [] {
    std::array<int, kLastArcLimit> rows{};
    rows.fill(-1);
    for (std::size_t row = 0; row < kAttributeCount; ++row) {
        const std::string_view oid = oid_map[row].oid;
        int arc = 0;
        for (char digit : oid.substr(kAttributeArc.size())) arc = arc * 10 + (digit - '0');
        rows[static_cast<std::size_t>(arc)] = static_cast<int>(row);
    }
    return rows;
}();

constexpr bool all_rows_share_the_arc_and_prefix() {
    for (const SchemaAttribute &attribute : oid_map) {
        if (!std::string_view(attribute.oid).starts_with(kAttributeArc)) return false;
        if (!std::string_view(attribute.name).starts_with(kNamePrefix)) return false;
    }
    return true;
}
static_assert(all_rows_share_the_arc_and_prefix());

// The row whose OID is exactly `oid` (byte for byte: "…4.2.05" is no OID of
// the map), or null.
const SchemaAttribute *row_of_oid(std::string_view oid) {
    if (!oid.starts_with(kAttributeArc)) return nullptr;
    const std::string_view arc = oid.substr(kAttributeArc.size());
    if (arc.empty() || arc.size() > 2 || arc.front() == '0') return nullptr;
    int number = 0;
    for (char digit : arc) {
        if (digit < '0' || digit > '9') return nullptr;
        number = number * 10 + (digit - '0');
    }
    if (number >= kLastArcLimit || kRowOfLastArc[static_cast<std::size_t>(number)] < 0)
        return nullptr;
    return &oid_map[kRowOfLastArc[static_cast<std::size_t>(number)]];
}

// Length of each row's LDAP name: a name is compared, ignoring case, only
// with the few rows of its own length (at most four share one).
constexpr std::array<std::size_t, kAttributeCount> kNameLengths = [] {
    std::array<std::size_t, kAttributeCount> lengths{};
    for (std::size_t row = 0; row < kAttributeCount; ++row)
        lengths[row] = std::string_view(oid_map[row].name).size();
    return lengths;
}();

// The row whose LDAP name equals `name` ignoring letter case, or null.
// OIDs and names outside the schema are turned away by the common prefix.
const SchemaAttribute *row_of_name(const char *name) {
    if (strncasecmp(name, kNamePrefix.data(), kNamePrefix.size()) != 0) return nullptr;
    const std::size_t length = kNamePrefix.size() + std::strlen(name + kNamePrefix.size());
    for (std::size_t row = 0; row < kAttributeCount; ++row)
        if (kNameLengths[row] == length &&
            strcasecmp(name + kNamePrefix.size(), oid_map[row].name + kNamePrefix.size()) == 0)
            return &oid_map[row];
    return nullptr;
}

template <std::size_t... Row>
constexpr std::array<char *, sizeof...(Row) + 1> requested_attributes(std::index_sequence<Row...>) {
    // The client library takes a char**, but never writes through it.
    return {const_cast<char *>(oid_map[Row].oid)..., nullptr};
}

const char *syntax_log_line(CS_INT syntax) {
    switch (syntax) {
    case DCL_SYNTAX_INTEGER: return " (DCL_SYNTAX_INTEGER)\n";
    case DCL_SYNTAX_TRANADDR: return " (DCL_SYNTAX_TRANADDR)\n";
    case DCL_SYNTAX_OID: return " (DCL_SYNTAX_OID)\n";
    default: return " (DCL_SYNTAX_STRING)\n";
    }
}

}  // namespace

constinit const std::array<char *, 17> velmor_attributes =
    requested_attributes(std::make_index_sequence<kAttributeCount>{});

void gdd__map_dcl_attributename(DCL_OID *oid, const char *attributename) {
    const SchemaAttribute *row = row_of_name(attributename);
    gdd__copy_string(oid->dcl_oidp, GDD_TEXT_SIZE, row ? row->oid : attributename, CS_NULLTERM);
    oid->dcl_oidlen = static_cast<CS_INT>(std::strlen(oid->dcl_oidp));
}

CS_INT gdd__get_dcl_syntax(const char *ldapAttributep) {
    const SchemaAttribute *row = row_of_oid(ldapAttributep);
    const CS_INT syntax = row ? row->syntax : DCL_SYNTAX_STRING;
    GDD_LOG("%s", syntax_log_line(syntax));
    return syntax;
}
