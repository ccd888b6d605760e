/*
 * The entries of an import file, read one at a time and checked: named (a
 * whole DN for the driver, entry_names.h), their values turned into the
 * object the driver takes, and every problem found with its line (and
 * column for JSON), so that a user can fix them all at once.  Both passes
 * of an import read the file through this; neither holds more than one
 * entry.
 *
 * Where an entry goes: with --base, below that base, keeping its relative
 * name; otherwise where its DN says, and a JSON entry with only a "name"
 * below the session's base.  An entry whose DN does not name a server entry
 * (velmorServername=NAME) is a problem.
 */
#ifndef VELDIR_IMPORT_RECORDS_H
#define VELDIR_IMPORT_RECORDS_H

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dcl_object.h"
#include "entry_names.h"
#include "import_file.h"

struct ImportProblem {
    int line = 0;
    int column = 0;     // 0: the whole line
    std::string entry;  // the entry's name, when it has one
    std::string message;
};

struct ImportEntry {
    int line = 0;  // where the entry begins
    std::optional<EntryName> name;
    std::unique_ptr<ObjectBuilder> object;
    bool ok = false;  // no problems: it can be sent

    std::string shown() const { return name ? name->value : std::string(); }
};

struct NamingRules {
    std::optional<std::string> new_base;      // --base: every entry moves below it
    std::optional<std::string> session_base;  // where a JSON "name" goes without --base
};

class ImportReader {
public:
    static std::unique_ptr<ImportReader> open(std::istream &in, ImportFormat format, const NamingRules &rules);
    virtual ~ImportReader() = default;

    // The next entry, its problems appended to `problems`; false at the end
    // (a file that breaks off, such as broken JSON, ends with a problem).
    virtual bool next(ImportEntry &entry, std::vector<ImportProblem> &problems) = 0;
};

#endif
