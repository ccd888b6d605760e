#include "entry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>

#include "entry_names.h"
#include "schema.h"

namespace {

std::string text_of(const CS_CHAR *text, CS_INT length) {
    if (text == nullptr || length <= 0) return {};
    return std::string(text, static_cast<std::size_t>(length));
}

// The driver copies a transport address it reads into the record's fixed
// fields and cuts what does not fit: a field filled to its last byte may
// hold the start of a longer text.
bool fills_a_field(const DCL_TRANADDR &address) {
    return ::strnlen(address.dcl_trantype, sizeof address.dcl_trantype) == sizeof address.dcl_trantype - 1 ||
           ::strnlen(address.dcl_tranaddress, sizeof address.dcl_tranaddress) == sizeof address.dcl_tranaddress - 1;
}

EntryAttribute attribute_from(const DCL_ATTRIBUTE &attribute) {
    EntryAttribute result;
    const std::string type = text_of(attribute.dcl_attrtype.dcl_oidp, attribute.dcl_attrtype.dcl_oidlen);
    const AttributeSpec *definition = find_attribute(type);
    result.name = definition != nullptr ? std::string(definition->name) : type;
    result.syntax = attribute.dcl_attrsyntax;
    for (CS_INT v = 0; attribute.dcl_attrvalues != nullptr && v < attribute.dcl_numvalues; ++v) {
        const DCL_ATTRVALUE &value = attribute.dcl_attrvalues[v];
        if (attribute.dcl_attrsyntax == DCL_SYNTAX_TRANADDR && fills_a_field(value.dcl_tranaddr))
            result.cut.push_back(result.values.size());
        result.values.push_back(format_value(attribute.dcl_attrsyntax, value));
    }
    return result;
}

}  // namespace

Entry entry_from_object(const DCL_OBJECT &object) {
    Entry entry;
    entry.dn = text_of(object.dcl_dist_name.dcl_stringp, object.dcl_dist_name.dcl_length);
    const DCL_ATTRLIST &list = object.dcl_attrlist;
    for (CS_INT a = 0; list.dcl_attribute != nullptr && a < list.dcl_numattr; ++a)
        entry.attributes.push_back(attribute_from(list.dcl_attribute[a]));
    std::stable_sort(entry.attributes.begin(), entry.attributes.end(),
                     [](const EntryAttribute &left, const EntryAttribute &right) {
                         return schema_position(left.name) < schema_position(right.name);
                     });
    return entry;
}

const EntryAttribute *Entry::find(std::string_view name) const {
    for (const EntryAttribute &attribute : attributes)
        if (attribute.name.size() == name.size() &&
            ::strncasecmp(attribute.name.data(), name.data(), name.size()) == 0)
            return &attribute;
    return nullptr;
}

std::string Entry::server_name() const {
    if (std::optional<std::string> name = relative_name_of(dn)) return *name;
    const EntryAttribute *naming = find(kNamingAttribute);
    return naming != nullptr && !naming->values.empty() ? naming->values.front() : dn;
}

bool Entry::has_cut_values() const {
    return std::any_of(attributes.begin(), attributes.end(),
                       [](const EntryAttribute &attribute) { return !attribute.cut.empty(); });
}

bool EntryAttribute::is_cut(std::size_t value) const { return std::find(cut.begin(), cut.end(), value) != cut.end(); }

std::vector<Entry> entries_from_result(const DCL_RESULT &result) {
    std::vector<Entry> entries;
    for (CS_INT i = 0; result.dcl_objlist != nullptr && i < result.dcl_numentries; ++i)
        if (result.dcl_objlist[i] != nullptr) entries.push_back(entry_from_object(*result.dcl_objlist[i]));
    return entries;
}

namespace {

// TYPE#ACCESS#ADDRESS as the driver would store it, as far as comparing
// goes: the driver writes the type of a TCP address in upper or lower case
// depending on what follows the port, and the address's parts separated by
// single blanks where they were given with commas or several blanks.
std::string comparable_address(std::string_view value) {
    const std::size_t type_end = value.find('#');
    const std::size_t access_end = value.find('#', type_end == std::string_view::npos ? value.size() : type_end + 1);
    if (access_end == std::string_view::npos) return std::string(value);
    std::string text(value.substr(0, access_end + 1));
    for (std::size_t i = 0; i < type_end; ++i) text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    const std::string_view address = value.substr(access_end + 1);
    for (std::size_t start = 0; start < address.size();) {
        const std::size_t end = std::min(address.find_first_of(" ,", start), address.size());
        if (end > start) text += (text.back() == '#' ? "" : " ") + std::string(address.substr(start, end - start));
        start = end + 1;
    }
    return text;
}

}  // namespace

std::string comparable_values(const Entry &entry) {
    std::string text;
    for (const EntryAttribute &attribute : entry.attributes) {
        std::vector<std::string> values;
        for (const std::string &value : attribute.values)
            values.push_back(attribute.syntax == DCL_SYNTAX_TRANADDR ? comparable_address(value) : value);
        std::sort(values.begin(), values.end());
        // Lengths in front keep "a" + "bc" apart from "ab" + "c".
        text += std::to_string(attribute.name.size()) + ":" + attribute.name + "=" + std::to_string(values.size());
        for (const std::string &value : values) text += "," + std::to_string(value.size()) + ":" + value;
        text += ";";
    }
    return text;
}
