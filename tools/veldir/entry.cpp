#include "entry.h"

#include <algorithm>
#include <strings.h>

#include "schema.h"

namespace {

std::string text_of(const CS_CHAR *text, CS_INT length) {
    if (text == nullptr || length <= 0) return {};
    return std::string(text, static_cast<std::size_t>(length));
}

EntryAttribute attribute_from(const DCL_ATTRIBUTE &attribute) {
    EntryAttribute result;
    const std::string type = text_of(attribute.dcl_attrtype.dcl_oidp, attribute.dcl_attrtype.dcl_oidlen);
    const AttributeSpec *definition = find_attribute(type);
    result.name = definition != nullptr ? std::string(definition->name) : type;
    result.syntax = attribute.dcl_attrsyntax;
    for (CS_INT v = 0; attribute.dcl_attrvalues != nullptr && v < attribute.dcl_numvalues; ++v)
        result.values.push_back(format_value(attribute.dcl_attrsyntax, attribute.dcl_attrvalues[v]));
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
    const EntryAttribute *naming = find(kNamingAttribute);
    if (naming != nullptr && !naming->values.empty()) return naming->values.front();
    const std::size_t equals = dn.find('=');
    if (equals == std::string::npos) return dn;
    const std::size_t comma = dn.find(',', equals);
    return dn.substr(equals + 1, comma == std::string::npos ? std::string::npos : comma - equals - 1);
}

std::vector<Entry> entries_from_result(const DCL_RESULT &result) {
    std::vector<Entry> entries;
    for (CS_INT i = 0; result.dcl_objlist != nullptr && i < result.dcl_numentries; ++i)
        if (result.dcl_objlist[i] != nullptr) entries.push_back(entry_from(*result.dcl_objlist[i]));
    return entries;
}
