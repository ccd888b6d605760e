/*
 * What an import tells its user: the problems of the check pass (nothing
 * was sent), or the outcome of every entry, in words or, with --json, as
 * one JSON object on standard output.  Lists are in file order and show the
 * first entries of each outcome; the counts are always whole.
 */
#ifndef VELDIR_IMPORT_REPORT_H
#define VELDIR_IMPORT_REPORT_H

#include <optional>
#include <ostream>

#include "cli.h"
#include "import_check.h"
#include "import_file.h"
#include "import_send.h"
#include "import_tally.h"

// Returns kExitUsage.
int report_problems(const Invocation &invocation, std::ostream &out, std::ostream &err, const ImportFile &file,
                    const CheckResult &check);

// A dry run without a connection: the check pass found nothing.
void report_checked(const Invocation &invocation, std::ostream &out, const ImportFile &file, std::size_t entries);

// The outcome of every entry, and the servers that served when several
// are listed; returns the exit code.
int report_outcomes(const Invocation &invocation, std::ostream &out, std::ostream &err, const ImportFile &file,
                    const ImportTally &tally, const SendResult &sent);

#endif
