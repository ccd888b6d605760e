/*
 * Runs veldir as a user's shell would: a child process with arguments,
 * optional standard input or a terminal, and its standard output, standard
 * error and exit code collected.  The child starts in the test's own
 * working directory, and its default log directory (where the driver's log
 * goes) is state/veldir below it.  Also the small file and JSON chores the
 * tool tests share.
 */
#ifndef VELDLDAP_TOOL_RUNNER_H
#define VELDLDAP_TOOL_RUNNER_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "json_reader.h"

using ::testing::HasSubstr;
using ToolResult = veldldap::ProgramResult;

// The terminal of an interactive shell, for runs with ProgramOptions::terminal.
inline constexpr veldldap::TerminalSize kTerminal{100, 30};

ToolResult run_veldir(const std::vector<std::string> &arguments, const veldldap::ProgramOptions &options = {});

// What a run wrote on standard output, read as JSON (a test failure when it is not).
JsonValue json_of(const ToolResult &result);
// Whether a run ended with `exit_code` and said `words` on standard error.
::testing::AssertionResult exits_with(const ToolResult &result, int exit_code, const std::string &words);

// Writes a file in the working directory and returns its name; a private
// one is readable by its owner alone, as a file holding a password should be.
std::string write_file(const std::string &name, const std::string &text);
std::string write_private_file(const std::string &name, const std::string &text);
std::string read_text(const std::string &path);

#endif
