/*
 * LDIF (RFC 2849) as veldir writes and reads it: the writer prints entries
 * for --ldif (unsafe values in base64, long lines folded); the reader takes
 * the entry records of an import file (folded lines, comments, base64 values,
 * "changetype: add") and refuses change records and URL values it cannot
 * handle.  Attribute names and values are checked later, by the importer.
 */
#ifndef VELDIR_LDIF_H
#define VELDIR_LDIF_H

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "entry.h"

void write_ldif_entry(std::ostream &out, const Entry &entry);

struct LdifRecord {
    int line = 0;  // of its dn: line
    std::string dn;
    std::vector<std::pair<std::string, std::string>> attributes;  // in file order
};

struct LdifProblem {
    int line = 0;
    std::string message;
};

// Reads every record; problems are collected, not fatal, so a user sees all of them.
void parse_ldif(std::string_view text, std::vector<LdifRecord> &records, std::vector<LdifProblem> &problems);

#endif
