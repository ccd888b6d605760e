/*
 * Running a command-line tool from a test (the OpenLDAP tools, openssl): an
 * argument vector without a shell, a text on its standard input and extra
 * environment variables in; its exit status and both output streams out.
 * Safe to call while other threads of the test process run.
 */
#ifndef VELDLDAP_COMMAND_H
#define VELDLDAP_COMMAND_H

#include <string>
#include <vector>

struct CommandResult {
    int exit_status = -1;  // the exit code; -1 when the tool did not exit normally
    std::string output;    // standard output
    std::string errors;    // standard error
    bool ok() const { return exit_status == 0; }
    // One line for a failure message: status and standard error.
    std::string summary() const;
};

// `argv[0]` is looked up on PATH.  `environment` holds "NAME=value" texts that
// are added to the inherited environment, replacing variables of that name.
CommandResult run_command(const std::vector<std::string> &argv, const std::string &input = {},
                          const std::vector<std::string> &environment = {});

#endif
