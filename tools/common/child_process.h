/*
 * Running helper programs (slapd, slapadd, openssl) as child processes,
 * without a shell: standard input from /dev/null, standard output and error
 * appended to a log file.  A long-running child can be put in a process
 * group of its own (a Ctrl-C on the terminal then reaches only the parent,
 * which stops it in order) and be ended with its parent.  Between fork and
 * exec only async-signal-safe calls are made, so other threads may run.
 */
#ifndef VELDLDAP_CHILD_PROCESS_H
#define VELDLDAP_CHILD_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace veldldap {

struct ChildOptions {
    bool own_process_group = false;
    bool die_with_parent = false;  // SIGTERM when the thread that started it ends
};

// Starts `arguments` (the program first: a path, or a name found on PATH,
// /usr/sbin or /sbin).  Returns the child's pid, or -1 with `error` set.
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

// The program's full path when it can be found on PATH, /usr/sbin or /sbin, else "".
std::string find_program(const std::string &name);

// The last `count` lines of a text file, for error messages.
std::string last_lines(const std::string &file, int count);

}  // namespace veldldap

#endif
