/*
 * A DCL_OBJECT as a host builds one for add and modify, attribute by
 * attribute; the values live as long as the builder.  Attributes are named
 * by their LDAP names (the vocabulary gives the OIDs a host sends) or, for
 * types outside the vocabulary, by whatever text the host would send.
 */
#ifndef VELDLDAP_HOST_OBJECT_H
#define VELDLDAP_HOST_OBJECT_H

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "veldldap/dspublic.h"
#include "veldldap/vocabulary.h"

// The OID of a vocabulary attribute named `name`; any other text as it is.
inline const char *oid_of(const char *name) {
    const veldldap::vocabulary::Attribute *attribute = veldldap::vocabulary::find(name);
    return attribute != nullptr ? attribute->oid.data() : name;
}

// A host object built attribute by attribute; values live as long as it does.
class HostObject {
public:
    HostObject &integer(const char *name, std::vector<CS_INT> values) {
        auto &slots = add(name, DCL_SYNTAX_INTEGER, values.size());
        for (std::size_t i = 0; i < values.size(); ++i) slots[i].dcl_integer = values[i];
        return *this;
    }
    HostObject &text(const char *name, CS_INT syntax, std::vector<std::string> values) {
        auto &slots = add(name, syntax, values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            texts_.push_back(values[i]);
            slots[i].dcl_string.dcl_length = static_cast<CS_INT>(texts_.back().size());
            slots[i].dcl_string.dcl_stringp = texts_.back().data();
        }
        return *this;
    }
    HostObject &address(const char *name, const char *type, CS_INT access, const char *where) {
        auto &slots = add(name, DCL_SYNTAX_TRANADDR, 1);
        std::snprintf(slots[0].dcl_tranaddr.dcl_trantype, 64, "%s", type);
        slots[0].dcl_tranaddr.dcl_accesstype = access;
        std::snprintf(slots[0].dcl_tranaddr.dcl_tranaddress, 512, "%s", where);
        return *this;
    }
    // An attribute without value records.
    HostObject &empty(const char *name, CS_INT syntax) {
        add(name, syntax, 0);
        attributes_.back().dcl_attrvalues = nullptr;
        return *this;
    }
    HostObject &without_oid() {
        add(nullptr, DCL_SYNTAX_STRING, 0);
        return *this;
    }
    DCL_OBJECT *object() {
        object_ = DCL_OBJECT{};
        for (std::size_t i = 0; i < attributes_.size(); ++i)
            if (!values_[i].empty()) attributes_[i].dcl_attrvalues = values_[i].data();
        object_.dcl_attrlist.dcl_numattr = static_cast<CS_INT>(attributes_.size());
        object_.dcl_attrlist.dcl_attribute = attributes_.empty() ? nullptr : attributes_.data();
        return &object_;
    }

private:
    std::vector<DCL_ATTRVALUE> &add(const char *name, CS_INT syntax, std::size_t count) {
        const char *oid = name != nullptr ? oid_of(name) : nullptr;
        DCL_ATTRIBUTE attribute{};
        attribute.dcl_attrtype.dcl_oidp = const_cast<char *>(oid);
        attribute.dcl_attrtype.dcl_oidlen = oid ? static_cast<CS_INT>(std::strlen(oid)) : 0;
        attribute.dcl_attrsyntax = syntax;
        attribute.dcl_numvalues = static_cast<CS_INT>(count);
        attributes_.push_back(attribute);
        values_.emplace_back(count);
        return values_.back();
    }
    std::vector<DCL_ATTRIBUTE> attributes_;
    std::vector<std::vector<DCL_ATTRVALUE>> values_;
    std::vector<std::string> texts_;  // reserve: pointers into it must stay valid
    DCL_OBJECT object_{};

public:
    HostObject() { texts_.reserve(64); }
};

#endif
