/*
 * The entries of an import file, checked and ready for the driver.  The
 * format is told from the content (JSON when the first non-blank character
 * is { or [, LDIF otherwise).  Every problem of the file is collected with
 * its line, so a user can fix them all at once; a file with problems is
 * imported not at all.
 */
#ifndef VELDIR_IMPORT_RECORDS_H
#define VELDIR_IMPORT_RECORDS_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dcl_object.h"

struct ImportRecord {
    int line = 0;      // where the entry begins in the file
    std::string name;  // server name or distinguished name, as the driver takes it
    std::unique_ptr<ObjectBuilder> object;
};

struct ImportProblem {
    int line = 0;
    std::string message;
};

enum class ImportFormat { ldif, json };

ImportFormat detect_import_format(std::string_view text);

// Reads and checks every entry; true when there were no problems.
bool read_import_records(std::string_view text, ImportFormat format, std::vector<ImportRecord> &records,
                         std::vector<ImportProblem> &problems);

#endif
