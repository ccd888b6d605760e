/*
 * The check pass of an import: the whole file is read once, front to back,
 * and every entry checked as it would be sent (names, attributes, values,
 * the driver's limits in bytes), and a second entry of a name already used
 * in the file is a problem too.  Nothing is sent; a file with any problem is
 * not imported at all.
 */
#ifndef VELDIR_IMPORT_CHECK_H
#define VELDIR_IMPORT_CHECK_H

#include <cstddef>

#include "first_in_file.h"
#include "import_file.h"
#include "import_records.h"

// How many problems are kept to be listed; the rest are counted.
inline constexpr std::size_t kProblemsKept = 1000;

struct CheckResult {
    std::size_t entries = 0;
    FirstInFile<ImportProblem> problems{kProblemsKept};
};

CheckResult check_import_file(const ImportFile &file, const NamingRules &rules);

#endif
