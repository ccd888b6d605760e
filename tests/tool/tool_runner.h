/*
 * Runs veldir as a user's shell would: a child process with arguments,
 * optional standard input or a terminal, and its standard output, standard
 * error and exit code collected.  The child starts in the test's own
 * working directory, and its default log directory (where the driver's log
 * goes) is state/veldir below it.
 */
#ifndef VELDLDAP_TOOL_RUNNER_H
#define VELDLDAP_TOOL_RUNNER_H

#include <string>
#include <vector>

#include "child_process.h"

using ToolResult = veldldap::ProgramResult;

// The terminal of an interactive shell, for runs with ProgramOptions::terminal.
inline constexpr veldldap::TerminalSize kTerminal{100, 30};

ToolResult run_veldir(const std::vector<std::string> &arguments, const veldldap::ProgramOptions &options = {});

// Writes a file in the working directory and returns its name.
std::string write_file(const std::string &name, const std::string &text);

#endif
