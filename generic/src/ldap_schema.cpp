// Lookup tables built at compile time from the server-entry vocabulary, and
// the attribute list every search requests.  Mapping a server's attribute name back to an OID and
// finding an attribute's syntax are the two lookups the decoder makes for
// every attribute of every entry, so both avoid walking the table where the
// text itself says which row it can be.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "ldap_schema.h"
#include "veldldap/vocabulary.h"

namespace {

using veldldap::vocabulary::kAttributeArc;
using SchemaAttribute = veldldap::vocabulary::Attribute;

constexpr const auto &oid_map = veldldap::vocabulary::kAttributes;
constexpr std::size_t kAttributeCount = veldldap::vocabulary::kAttributeCount;
static_assert(kAttributeCount == 16);

// Row of the map for each last arc number, or -1: the OID lookup is one
// array index instead of sixteen comparisons.
constexpr int kLastArcLimit = 20;
constexpr std::array<int, kLastArcLimit> kRowOfLastArc = [] {
    std::array<int, kLastArcLimit> rows{};
    rows.fill(-1);
    for (std::size_t row = 0; row < kAttributeCount; ++row)
        rows[static_cast<std::size_t>(oid_map[row].last_arc)] = static_cast<int>(row);
    return rows;
}();

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

// LDAP names compare ignoring letter case.  Every name of the map is made of
// ASCII letters only, so a character c of the server's name matches the
// lower-case letter l exactly when (c | 0x20) == l: eight characters are
// compared at once, and the C library's locale is never consulted.
constexpr bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr char lower_case(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

constexpr std::size_t kWord = sizeof(std::uint64_t);
constexpr std::uint64_t kLowerCaseBits = 0x2020202020202020;

constexpr std::size_t kLongestName = [] {
    std::size_t longest = 0;
    for (const SchemaAttribute &attribute : oid_map) longest = std::max(longest, attribute.name.size());
    return longest;
}();

constexpr bool names_are_letters_of_a_word_or_more() {
    for (const SchemaAttribute &attribute : oid_map) {
        if (attribute.name.size() < kWord) return false;
        for (char c : attribute.name)
            if (!is_letter(c)) return false;
    }
    return true;
}
static_assert(names_are_letters_of_a_word_or_more());

constexpr auto kLowerCaseNames = [] {
    std::array<std::array<char, kLongestName>, kAttributeCount> names{};
    for (std::size_t row = 0; row < kAttributeCount; ++row)
        for (std::size_t i = 0; i < oid_map[row].name.size(); ++i)
            names[row][i] = lower_case(oid_map[row].name[i]);
    return names;
}();

std::uint64_t word_at(const char *text) {
    std::uint64_t word;
    std::memcpy(&word, text, kWord);
    return word;
}

// `name` has the length of the row's name; the last word may overlap the one before.
bool matches_row(std::string_view name, std::size_t row) {
    const char *lower = kLowerCaseNames[row].data();
    const std::size_t last = name.size() - kWord;
    for (std::size_t at = 0; at < last; at += kWord)
        if ((word_at(name.data() + at) | kLowerCaseBits) != word_at(lower + at)) return false;
    return (word_at(name.data() + last) | kLowerCaseBits) == word_at(lower + last);
}

// The rows of each name length: a name is compared only with those.
constexpr std::size_t kRowsPerLength = 4;
constexpr auto kRowsOfLength = [] {
    std::array<std::array<int, kRowsPerLength>, kLongestName + 1> rows{};
    for (auto &same_length : rows) same_length.fill(-1);
    for (std::size_t row = 0; row < kAttributeCount; ++row) {
        auto &same_length = rows[oid_map[row].name.size()];
        std::size_t slot = 0;
        while (same_length[slot] >= 0) ++slot;  // more than four rows of one length: no constant
        same_length[slot] = static_cast<int>(row);
    }
    return rows;
}();

// The row whose LDAP name equals `name` ignoring letter case, or null.
const SchemaAttribute *row_of_name(std::string_view name) {
    if (name.size() > kLongestName) return nullptr;
    for (int row : kRowsOfLength[name.size()]) {
        if (row < 0) break;
        if (matches_row(name, static_cast<std::size_t>(row))) return &oid_map[row];
    }
    return nullptr;
}

template <std::size_t... Row>
constexpr std::array<char *, sizeof...(Row) + 1> requested_attributes(std::index_sequence<Row...>) {
    // The client library takes a char**, but never writes through it.
    return {const_cast<char *>(oid_map[Row].oid.data())..., nullptr};
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
    if (row != nullptr) {
        // The type buffer (GDD_TEXT_SIZE bytes) is far longer than any OID of the map.
        std::memcpy(oid->dcl_oidp, row->oid.data(), row->oid.size() + 1);
        oid->dcl_oidlen = static_cast<CS_INT>(row->oid.size());
        return;
    }
    gdd__copy_string(oid->dcl_oidp, GDD_TEXT_SIZE, attributename, CS_NULLTERM);
    oid->dcl_oidlen = static_cast<CS_INT>(std::strlen(oid->dcl_oidp));
}

CS_INT gdd__get_dcl_syntax(const char *ldapAttributep) {
    const SchemaAttribute *row = row_of_oid(ldapAttributep);
    const CS_INT syntax = row ? row->syntax : DCL_SYNTAX_STRING;
    GDD_LOG("%s", syntax_log_line(syntax));
    return syntax;
}
