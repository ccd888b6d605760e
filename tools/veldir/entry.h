/*
 * A server entry as veldir prints it: its distinguished name and its
 * attributes with their values as friendly text.  Results the driver hands
 * over (DCL_RESULT) are copied into this form at once and released, so the
 * output code never touches driver memory.
 */
#ifndef VELDIR_ENTRY_H
#define VELDIR_ENTRY_H

#include <string>
#include <vector>

#include "veldldap/dspublic.h"

struct EntryAttribute {
    std::string name;  // LDAP name for schema attributes, else the type as the driver gave it
    CS_INT syntax = DCL_SYNTAX_STRING;
    std::vector<std::string> values;
    // Positions of values the driver may have cut when it read them (see cut_values.h).
    std::vector<std::size_t> cut;

    bool is_cut(std::size_t value) const;
};

struct Entry {
    std::string dn;
    std::vector<EntryAttribute> attributes;  // in the schema's order

    const EntryAttribute *find(std::string_view name) const;
    // The value of the relative name, unescaped: the name veldir shows.
    std::string server_name() const;
    bool has_cut_values() const;
};

// Copies every object of a result; attributes sorted into the schema's order.
std::vector<Entry> entries_from_result(const DCL_RESULT &result);

// One object, as a result holds it or as veldir hands it to the driver.
Entry entry_from_object(const DCL_OBJECT &object);

// The entry's attributes and values in one text that is the same for two
// entries the directory holds alike: attributes in the schema's order,
// each value's order not counted, and transport addresses as the driver
// stores them (the type's letter case, and blanks and commas between the
// parts of a TCP address, do not count).  The DN is not part of it.
std::string comparable_values(const Entry &entry);

#endif
