/*
 * Builds the DCL_OBJECT that add and modify hand to the driver from the
 * user's "attribute=value" pairs.  The builder owns every text and array the
 * object points to, so the object lives exactly as long as the builder;
 * nothing is allocated for the driver to free.
 */
#ifndef VELDIR_DCL_OBJECT_H
#define VELDIR_DCL_OBJECT_H

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veldldap/dspublic.h"
#include "schema.h"

class ObjectBuilder {
public:
    ObjectBuilder() = default;
    ObjectBuilder(const ObjectBuilder &) = delete;
    ObjectBuilder &operator=(const ObjectBuilder &) = delete;

    // Adds one value; a repeated attribute collects several values.  The
    // error in words when the attribute is unknown or the value malformed.
    std::optional<std::string> add(std::string_view attribute, std::string_view value);

    // Parses "attribute=value".
    std::optional<std::string> add_assignment(std::string_view assignment);

    bool has(std::string_view attribute) const;
    // The directory names an entry by one of its velmorServername values:
    // adds `name` when none was given; the error when the values given do
    // not hold it (compared without regard to ASCII case, as the directory does).
    std::optional<std::string> name_entry(std::string_view name);

    // The values given so far of a string attribute.
    std::vector<std::string_view> string_values(std::string_view attribute) const;
    bool empty() const { return pending_.empty(); }

    // The object for the driver; valid until the builder changes or ends.
    DCL_OBJECT *object();

private:
    struct PendingAttribute {
        const AttributeSpec *definition;
        std::vector<DCL_ATTRVALUE> values;
    };

    std::vector<PendingAttribute> pending_;
    std::deque<std::string> texts_;  // stable addresses for the string values and OIDs
    std::vector<DCL_ATTRIBUTE> attributes_;
    DCL_OBJECT object_{};
};

#endif
