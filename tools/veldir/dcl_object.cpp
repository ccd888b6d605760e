#include "dcl_object.h"

#include <strings.h>

#include <algorithm>

namespace {

// The driver reads the text behind a pointer; the builder's texts never change.
CS_CHAR *writable(std::string &text) { return text.data(); }

}  // namespace

std::optional<std::string> ObjectBuilder::add(std::string_view attribute, std::string_view value) {
    const AttributeSpec *definition = find_attribute(attribute);
    if (definition == nullptr) return "unknown attribute \"" + std::string(attribute) + "\" (veldir --help attributes lists them)";
    if (std::optional<std::string> error = check_value(*definition, value))
        return std::string(definition->name) + ": " + *error;

    DCL_ATTRVALUE dcl_value{};
    std::string error;
    switch (definition->syntax) {
    case DCL_SYNTAX_INTEGER:
        dcl_value.dcl_integer = *parse_integer(value);
        break;
    case DCL_SYNTAX_TRANADDR:
        dcl_value.dcl_tranaddr = *parse_transport_address(value, error);
        break;
    default: {
        std::string &text = texts_.emplace_back(value);
        dcl_value.dcl_string.dcl_length = static_cast<CS_INT>(text.size());
        dcl_value.dcl_string.dcl_stringp = writable(text);
    }
    }
    auto found = std::find_if(pending_.begin(), pending_.end(),
                              [definition](const PendingAttribute &pending) { return pending.definition == definition; });
    if (found == pending_.end()) found = pending_.insert(pending_.end(), PendingAttribute{definition, {}});
    found->values.push_back(dcl_value);
    return std::nullopt;
}

std::optional<std::string> ObjectBuilder::add_assignment(std::string_view assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return "\"" + std::string(assignment) + "\" is not of the form attribute=value";
    return add(assignment.substr(0, equals), assignment.substr(equals + 1));
}

bool ObjectBuilder::has(std::string_view attribute) const {
    const AttributeSpec *definition = find_attribute(attribute);
    return std::any_of(pending_.begin(), pending_.end(),
                       [definition](const PendingAttribute &pending) { return pending.definition == definition; });
}

std::optional<std::string> ObjectBuilder::name_entry(std::string_view name) {
    const std::vector<std::string_view> given = string_values(kNamingAttribute);
    if (given.empty()) return add(kNamingAttribute, name);
    const auto same = [name](std::string_view value) {
        return value.size() == name.size() && ::strncasecmp(value.data(), name.data(), name.size()) == 0;
    };
    if (std::any_of(given.begin(), given.end(), same)) return std::nullopt;
    std::string values;
    for (std::string_view value : given) values += (values.empty() ? "\"" : ", \"") + std::string(value) + "\"";
    return std::string(kNamingAttribute) + " " + values + " differs from the entry's name \"" + std::string(name) +
           "\": the directory names an entry by one of its " + std::string(kNamingAttribute) +
           " values; leave it out (the name is added) or give the name too";
}

std::vector<std::string_view> ObjectBuilder::string_values(std::string_view attribute) const {
    std::vector<std::string_view> values;
    const AttributeSpec *definition = find_attribute(attribute);
    for (const PendingAttribute &pending : pending_) {
        if (pending.definition != definition || definition->syntax != DCL_SYNTAX_STRING) continue;
        for (const DCL_ATTRVALUE &value : pending.values)
            values.emplace_back(value.dcl_string.dcl_stringp, static_cast<std::size_t>(value.dcl_string.dcl_length));
    }
    return values;
}

DCL_OBJECT *ObjectBuilder::object() {
    attributes_.clear();
    for (PendingAttribute &pending : pending_) {
        DCL_ATTRIBUTE attribute{};
        std::string &oid = texts_.emplace_back(pending.definition->oid);
        attribute.dcl_attrtype.dcl_oidlen = static_cast<CS_INT>(oid.size());
        attribute.dcl_attrtype.dcl_oidp = writable(oid);
        attribute.dcl_attrmod = CS_UNUSED;
        attribute.dcl_attrsyntax = pending.definition->syntax;
        attribute.dcl_numvalues = static_cast<CS_INT>(pending.values.size());
        attribute.dcl_attrvalues = pending.values.data();
        attributes_.push_back(attribute);
    }
    object_ = DCL_OBJECT{};
    std::string &class_oid = texts_.emplace_back(kServerClassOid);
    object_.dcl_class.dcl_oidlen = static_cast<CS_INT>(class_oid.size());
    object_.dcl_class.dcl_oidp = writable(class_oid);
    object_.dcl_attrlist.dcl_numattr = static_cast<CS_INT>(attributes_.size());
    object_.dcl_attrlist.dcl_attribute = attributes_.data();
    return &object_;
}
