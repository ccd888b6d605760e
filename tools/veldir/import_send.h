/*
 * The send pass of an import: the file is read again, front to back, and
 * its entries go to N sessions (--jobs), each on a thread of its own with
 * its own connection, through a queue of a few entries, so memory does not
 * grow with the file.  An entry that exists already is refused, skipped or
 * replaced (a modify with the file's values) as --existing says; a dry run
 * reads each entry instead of writing it.
 *
 * A lost connection stops the sending: the entries not yet handed to a
 * session are not tried.  An entry whose answer was lost may or may not
 * have been applied, so it is read again over a new connection: there, it
 * was added; missing, not tried; and when no connection can be had, it
 * stays unknown.  Every entry of the file ends in exactly one outcome.
 */
#ifndef VELDIR_IMPORT_SEND_H
#define VELDIR_IMPORT_SEND_H

#include <optional>
#include <ostream>

#include "cli.h"
#include "failure.h"
#include "import_file.h"
#include "import_records.h"
#include "import_tally.h"

struct LostConnection {
    int line = 0;  // the entry whose answer was lost first
    std::string name;
    Failure failure;
};

struct SendResult {
    std::optional<Failure> no_session;  // not one session could be opened: nothing was sent
    std::optional<LostConnection> lost;
};

SendResult send_import_file(const Invocation &invocation, const ImportFile &file, const NamingRules &rules,
                            std::size_t entries, ImportTally &tally, std::ostream &err);

#endif
