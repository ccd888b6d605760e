/*
 * The send pass of an import: the file is read again, front to back, and
 * its entries go to N sessions (--jobs), each on a thread of its own with
 * its own connection, through a queue of a few entries, so memory does not
 * grow with the file.  An entry that exists already is refused, skipped or
 * replaced (a modify with the file's values) as --existing says; a dry run
 * reads each entry instead of writing it.
 *
 * A session whose server fails moves to the next server listed (a
 * replicated directory, connection.h) and goes on there with the entry it
 * was sending.  An add whose answer was lost may have been applied on the
 * server that failed and replicated to the next: an "already exists" for
 * that entry there counts as added when the entry holds the file's values.
 *
 * When no server is left, the sending stops: the entries not yet handed to
 * a session are not tried.  An entry whose answer was lost may or may not
 * have been applied, so it is read again over a new connection: there, it
 * was added; missing, not tried; and when no connection can be had, it
 * stays unknown.  Every entry of the file ends in exactly one outcome.
 */
#ifndef VELDIR_IMPORT_SEND_H
#define VELDIR_IMPORT_SEND_H

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

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

// A session moving on from a failed server, with the entry it was sending.
struct ServerMove {
    int line = 0;
    std::string name;
    std::vector<ServerFailure> passed_over;  // the servers it left, each with its failure
    std::size_t to = 0;                      // the server it moved to, from 1
    std::string to_address;
};

// Which servers the sessions used, in the order first used, and their moves.
struct ServerUse {
    std::size_t listed = 1;
    std::vector<std::pair<std::size_t, std::string>> served;  // number from 1, address
    std::vector<ServerMove> moves;
};

struct SendResult {
    std::optional<Failure> no_session;  // not one session could be opened: nothing was sent
    std::optional<LostConnection> lost;
    ServerUse servers;
};

SendResult send_import_file(const Invocation &invocation, const ImportFile &file, const NamingRules &rules,
                            std::size_t entries, ImportTally &tally, std::ostream &err);

#endif
