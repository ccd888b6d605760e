/*
 * Runs veldir as a user's shell would: a child process with arguments,
 * optional standard input, and its standard output, standard error and exit
 * code collected.  The child works in the test's own working directory.
 */
#ifndef VELDLDAP_TOOL_RUNNER_H
#define VELDLDAP_TOOL_RUNNER_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct ToolResult {
    int exit_code = -1;  // run_veldir: -1 when a signal ended it; the others: 128 + signal
    std::string out;
    std::string err;
};

ToolResult run_veldir(const std::vector<std::string> &arguments, const std::string &input = "");

// Called with the standard output so far whenever more arrives, and the
// child's pid: for tests that act on what the tool has printed.
using OutputWatcher = std::function<void(const std::string &out, pid_t child)>;
ToolResult run_veldir_watched(const std::vector<std::string> &arguments, const OutputWatcher &watcher);

// veldir with standard error on a pseudo-terminal (as in an interactive
// shell); standard output stays a pipe.  `err` receives what the terminal showed.
ToolResult run_veldir_on_terminal(const std::vector<std::string> &arguments);

// Writes a file in the working directory and returns its name.
std::string write_file(const std::string &name, const std::string &text);

#endif
