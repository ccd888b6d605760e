#include "tool/tool_runner.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>

ToolResult run_veldir(const std::vector<std::string> &arguments, const std::string &input, const OutputWatcher &watcher) {
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) std::abort();
    std::vector<std::string> words{VELDIR_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    // A tool that ends without reading its input must not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
    std::size_t written = 0;
    if (input.empty()) ::close(in[1]);

    ToolResult result;
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {input.empty() ? -1 : in[1], POLLOUT, 0}};
    int open_streams = 2;
    while (open_streams > 0) {
        if (::poll(fds, 3, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
                if (i == 0 && watcher) watcher(result.out, pid);
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_streams;
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const ssize_t put = ::write(in[1], input.data() + written, input.size() - written);
            if (put > 0) written += static_cast<std::size_t>(put);
            if (put <= 0 || written == input.size()) {
                ::close(in[1]);
                fds[2].fd = -1;
            }
        }
    }
    if (fds[2].fd >= 0) ::close(in[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string write_file(const std::string &name, const std::string &text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

ToolResult run_veldir_on_terminal(const std::vector<std::string> &arguments) {
    int out[2];
    int terminal = -1;
    if (::pipe(out) != 0) std::abort();
    std::vector<std::string> words{VELDIR_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, &size);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ToolResult result;
    // Both streams at once: a full terminal buffer must not stall the tool.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {terminal, POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            // The terminal side reports EIO once the child has gone.
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            ::close(fds[i].fd);
            fds[i].fd = -1;
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
