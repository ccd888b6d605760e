/*
 * Running programs as child processes, without a shell: helper programs
 * (slapd, slapadd, openssl) whose output goes to a log file, and the tools a
 * test or benchmark drives, whose standard input is given and whose output
 * is captured.  A long-running child can be put in a process group of its
 * own (a Ctrl-C on the terminal then reaches only the parent, which stops it
 * in order) and be ended with its parent.  Between fork and exec only
 * async-signal-safe calls are made, so other threads may run.
 */
#ifndef VELDLDAP_CHILD_PROCESS_H
#define VELDLDAP_CHILD_PROCESS_H

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veldldap {

struct ChildOptions {
    bool own_process_group = false;
    bool die_with_parent = false;  // SIGTERM when the thread that started it ends
};

// Starts `arguments` (the program first: a path, or a name found on PATH,
// /usr/sbin or /sbin) with standard input from /dev/null and both output
// streams appended to `log_file`.  Returns the child's pid, or -1 with `error` set.
pid_t start_child(const std::vector<std::string> &arguments, const std::string &log_file, std::string &error,
                  ChildOptions options = {});

// Runs to completion; true when it exited with status 0.  Otherwise `error`
// names the program, how it ended, and the log's last lines.
bool run_child(const std::vector<std::string> &arguments, const std::string &log_file, std::string &error);

// Waits at most `timeout_ms` (-1: without limit) for the child to end; true
// when it has ended and was reaped.
bool wait_child(pid_t pid, int timeout_ms);

// SIGTERM (SIGKILL when `force`), waits up to `grace_ms`, then SIGKILL; always reaps.
void stop_child(pid_t pid, bool force, int grace_ms);

struct TerminalSize {
    unsigned short columns = 80;
    unsigned short rows = 24;
};

struct ProgramOptions {
    std::string input{};  // standard input; empty: none
    // Standard input and error on a pseudo-terminal of this size, as in an
    // interactive shell; standard output stays a pipe unless
    // output_on_terminal, when all it writes arrives in `err` (with the
    // terminal's "\r\n" line ends).
    std::optional<TerminalSize> terminal{};
    bool output_on_terminal = false;
    // With a terminal: `answer` is typed once the terminal shows `prompt`,
    // as a user answers a question (typed earlier, a program that switches
    // echo off would discard it).
    std::string prompt{};
    std::string answer{};
    // Called with the standard output so far whenever more arrives, and the
    // child's pid: for callers that act on what the program has printed.
    std::function<void(const std::string &out, pid_t child)> on_output{};
    // NAME=VALUE entries set or replaced in the program's environment.
    std::vector<std::string> environment{};
};

struct ProgramResult {
    int exit_code = -1;  // the exit status, 128 + the signal that ended it, or -1: not started
    int signal = 0;      // the signal that ended it, if one did
    std::string out;     // standard output
    std::string err;     // standard error (what the terminal showed), or why it was not started
    bool ok() const { return exit_code == 0; }
    // One line for a failure message: how it ended and standard error.
    std::string summary() const;
};

// Runs `arguments` (found as start_child finds them) to completion in the
// caller's working directory and environment.  Both output streams are read
// while it runs, so it never stalls on a full pipe; it gets SIGTERM should
// the calling thread end first.
ProgramResult run_program(const std::vector<std::string> &arguments, const ProgramOptions &options = {});

// The program's full path when it can be found on PATH, /usr/sbin or /sbin, else "".
std::string find_program(const std::string &name);

// The last `count` lines of a text file, for error messages.
std::string last_lines(const std::string &file, int count);

}  // namespace veldldap

#endif
