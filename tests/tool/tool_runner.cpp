#include "tool/tool_runner.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "support/command.h"

namespace {

std::vector<std::string> veldir_command(const std::vector<std::string> &arguments) {
    std::vector<std::string> words{VELDIR_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

int exit_code_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Reads the child's standard output and the second stream (its standard
// error, or the terminal it writes to) at once, so that neither can fill up
// and stall it, until both are closed; then reaps the child.  A terminal
// reports EIO once the child has gone, which ends it like a closed pipe.
ToolResult collect(pid_t child, int output, int second, const OutputWatcher &watcher) {
    ToolResult result;
    pollfd fds[2] = {{output, POLLIN, 0}, {second, POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                continue;
            }
            (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
            if (i == 0 && watcher) watcher(result.out, child);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    result.exit_code = exit_code_of(status);
    return result;
}

void exec_veldir(const std::vector<std::string> &arguments) {
    std::vector<std::string> words = veldir_command(arguments);
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace

ToolResult run_veldir(const std::vector<std::string> &arguments, const std::string &input) {
    const CommandResult ran = run_command(veldir_command(arguments), input);
    return {ran.exit_status, ran.output, ran.errors};
}

ToolResult run_veldir_watched(const std::vector<std::string> &arguments, const OutputWatcher &watcher) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
        exec_veldir(arguments);
    }
    ::close(out[1]);
    ::close(err[1]);
    return collect(pid, out[0], err[0], watcher);
}

ToolResult run_veldir_on_terminal(const std::vector<std::string> &arguments) {
    int out[2];
    int terminal = -1;
    if (::pipe(out) != 0) std::abort();
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, &size);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        exec_veldir(arguments);
    }
    ::close(out[1]);
    return collect(pid, out[0], terminal, {});
}

std::string write_file(const std::string &name, const std::string &text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}
