#include "entry.h"

#include <algorithm>
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

Entry entry_from(const DCL_OBJECT &object) {
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

}  // namespace

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
        if (result.dcl_objlist[i] != nullptr) entries.push_back(entry_from(*result.dcl_objlist[i]));
    return entries;
}
