/*
 * The commands of veldir, each a function from the parsed invocation to an
 * exit code, writing results to `out` and messages to `err`.  run_command
 * dispatches through the table of commands (command_table.h).
 */
#ifndef VELDIR_COMMANDS_H
#define VELDIR_COMMANDS_H

#include <functional>
#include <ostream>

#include "cli.h"
#include "connection.h"
#include "session.h"

int run_command(const Invocation &invocation, std::ostream &out, std::ostream &err);

int run_search(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_read(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_add(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_modify(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_delete(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_props(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_check(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_import(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_demo(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_encipher(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_help(const Invocation &invocation, std::ostream &out, std::ostream &err);
int run_docs(const Invocation &invocation, std::ostream &out, std::ostream &err);

// Connects (and binds when `bind`), runs `operation` on the first server
// that serves, moving on and repeating it as connection.h says, then
// disconnects; `report` shows the result of the operation that succeeded,
// with the server that served.  Prints the failure of whichever step failed
// and returns the exit code.
int run_connected(const Invocation &invocation, std::ostream &out, std::ostream &err, bool bind,
                  const ServerOperation &operation, const std::function<void(const ServedBy &)> &report);

#endif
