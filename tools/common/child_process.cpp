#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

#include "file_descriptor.h"

namespace veldldap {
namespace {

// The child's standard streams and how it is set apart.
struct Launch {
    int input;
    int output;
    int errors;
    bool errors_on_terminal;  // the terminal becomes the child's own, in a session of its own
    ChildOptions options;
    const std::vector<std::string> *environment = nullptr;  // NAME=VALUE entries set or replaced
};

// This process's environment with `changes` set or replaced, for execve:
// built before the fork, since the child may only make async-signal-safe calls.
std::vector<std::string> environment_with(const std::vector<std::string> &changes) {
    std::vector<std::string> entries(changes);
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('=') + 1);
        const bool replaced = std::any_of(changes.begin(), changes.end(),
                                          [name](const std::string &change) { return change.starts_with(name); });
        if (!replaced) entries.emplace_back(text);
    }
    return entries;
}

// The one fork and exec.  Only async-signal-safe calls after the fork.
pid_t launch(const std::string &program, const std::vector<std::string> &arguments, const Launch &how) {
    std::vector<std::string> copies(arguments);
    std::vector<char *> argv;
    for (std::string &argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = how.environment ? environment_with(*how.environment) : std::vector<std::string>{};
    std::vector<char *> envp;
    for (std::string &entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (how.errors_on_terminal) {
        ::setsid();
        ::ioctl(how.errors, TIOCSCTTY, 0);
    } else if (how.options.own_process_group) {
        ::setpgid(0, 0);
    }
    ::dup2(how.input, STDIN_FILENO);
    ::dup2(how.output, STDOUT_FILENO);
    ::dup2(how.errors, STDERR_FILENO);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (how.options.die_with_parent) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);  // the parent died before prctl
    }
    if (how.environment) ::execve(program.c_str(), argv.data(), envp.data());
    else ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

std::string not_found(const std::string &name) { return name + " was not found (is it installed?)"; }

std::string system_error(const std::string &what) { return what + ": " + std::strerror(errno); }

int wait_status(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// The descriptors of one run of run_program: the child's ends, which the
// parent closes once the child has them, and the parent's reading ends.
struct Plumbing {
    FileDescriptor child_input, child_output, child_errors;
    FileDescriptor output, errors;

    void close_child_ends() {
        child_input.reset();
        child_output.reset();
        child_errors.reset();
    }
};

bool make_pipe(FileDescriptor &read_end, FileDescriptor &write_end) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    read_end.reset(ends[0]);
    write_end.reset(ends[1]);
    return true;
}

// A memory file rather than a pipe: the whole text is handed over before the
// child starts, and nobody has to feed it while it runs.
bool make_input(const std::string &text, FileDescriptor &file) {
    file.reset(text.empty() ? ::open("/dev/null", O_RDONLY | O_CLOEXEC) : ::memfd_create("input", MFD_CLOEXEC));
    if (!file) return false;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::pwrite(file.get(), text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (written < 0 && errno != EINTR) return false;
        if (written > 0) done += static_cast<std::size_t>(written);
    }
    return true;
}

bool make_terminal(const TerminalSize &size, FileDescriptor &master, FileDescriptor &slave) {
    winsize window{};
    window.ws_col = size.columns;
    window.ws_row = size.rows;
    int master_fd = -1, slave_fd = -1;
    if (::openpty(&master_fd, &slave_fd, nullptr, nullptr, &window) != 0) return false;
    master.reset(master_fd);
    slave.reset(slave_fd);
    return ::fcntl(master_fd, F_SETFD, FD_CLOEXEC) == 0 && ::fcntl(slave_fd, F_SETFD, FD_CLOEXEC) == 0;
}

bool make_plumbing(const ProgramOptions &options, Plumbing &plumbing) {
    if (!make_pipe(plumbing.output, plumbing.child_output)) return false;
    if (options.terminal) return make_terminal(*options.terminal, plumbing.errors, plumbing.child_errors);
    return make_input(options.input, plumbing.child_input) && make_pipe(plumbing.errors, plumbing.child_errors);
}

// Reads both output streams at once, so that neither can fill up and stall
// the child, until both are closed.  A terminal reports EIO once the child
// has gone, which ends it like a closed pipe.
void collect(const Plumbing &plumbing, pid_t child, const ProgramOptions &options, ProgramResult &result) {
    pollfd streams[2] = {{plumbing.output.get(), POLLIN, 0}, {plumbing.errors.get(), POLLIN, 0}};
    std::string *const texts[2] = {&result.out, &result.err};
    bool answered = !options.terminal || options.answer.empty();
    while (streams[0].fd >= 0 || streams[1].fd >= 0) {
        if (::poll(streams, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(streams[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                streams[i].fd = -1;
                continue;
            }
            texts[i]->append(buffer, static_cast<std::size_t>(got));
            if (i == 0 && options.on_output) options.on_output(result.out, child);
            if (i == 1 && !answered && result.err.find(options.prompt) != std::string::npos)
                answered = ::write(plumbing.errors.get(), options.answer.data(), options.answer.size()) >= 0;
        }
    }
}

}  // namespace

std::string find_program(const std::string &name) {
    if (name.find('/') != std::string::npos) return name;
    const char *environment_path = std::getenv("PATH");
    // Server programs live in sbin, which an ordinary user's PATH often lacks.
    std::istringstream directories(std::string(environment_path != nullptr ? environment_path : "") +
                                   ":/usr/sbin:/sbin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        if (directory.empty()) continue;
        const std::filesystem::path candidate = std::filesystem::path(directory) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return "";
}

std::string last_lines(const std::string &file, int count) {
    std::ifstream in(file);
    std::deque<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (static_cast<int>(lines.size()) > count) lines.pop_front();
    }
    std::string text;
    for (const std::string &line : lines) text += line + "\n";
    return text;
}

pid_t start_child(const std::vector<std::string> &arguments, const std::string &log_file, std::string &error,
                  ChildOptions options) {
    const std::string program = find_program(arguments.front());
    if (program.empty()) {
        error = not_found(arguments.front());
        return -1;
    }
    const FileDescriptor log(::open(log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    const FileDescriptor null_input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!log || !null_input) {
        error = system_error("cannot open " + log_file);
        return -1;
    }
    const pid_t pid = launch(program, arguments, {null_input.get(), log.get(), log.get(), false, options});
    if (pid < 0) error = system_error("fork failed");
    return pid;
}

bool wait_child(pid_t pid, int timeout_ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, timeout_ms < 0 ? 0 : WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) return true;  // not our child (any more)
        if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= until) return false;
        if (timeout_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool run_child(const std::vector<std::string> &arguments, const std::string &log_file, std::string &error) {
    const pid_t pid = start_child(arguments, log_file, error);
    if (pid < 0) return false;
    const int status = wait_status(pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    std::ostringstream message;
    message << arguments.front();
    if (WIFEXITED(status)) message << " failed with exit status " << WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) message << " was ended by signal " << WTERMSIG(status);
    message << " (" << log_file << "):\n" << last_lines(log_file, 10);
    error = message.str();
    return false;
}

void stop_child(pid_t pid, bool force, int grace_ms) {
    if (pid <= 0) return;
    ::kill(pid, force ? SIGKILL : SIGTERM);
    if (wait_child(pid, grace_ms)) return;
    ::kill(pid, SIGKILL);
    wait_child(pid, -1);
}

std::string ProgramResult::summary() const { return "exit code " + std::to_string(exit_code) + ": " + err; }

ProgramResult run_program(const std::vector<std::string> &arguments, const ProgramOptions &options) {
    ProgramResult result;
    const std::string program = find_program(arguments.front());
    if (program.empty()) {
        result.err = not_found(arguments.front());
        return result;
    }
    Plumbing plumbing;
    if (!make_plumbing(options, plumbing)) {
        result.err = system_error("cannot connect to " + arguments.front());
        return result;
    }
    const bool on_terminal = options.terminal.has_value();
    const int input = on_terminal ? plumbing.child_errors.get() : plumbing.child_input.get();
    const int output = on_terminal && options.output_on_terminal ? plumbing.child_errors.get()
                                                                 : plumbing.child_output.get();
    const pid_t pid = launch(program, arguments,
                             {input, output, plumbing.child_errors.get(), on_terminal,
                              ChildOptions{.die_with_parent = true},
                              options.environment.empty() ? nullptr : &options.environment});
    if (pid < 0) {
        result.err = system_error("fork failed");
        return result;
    }
    // Reading ends when the last writing end closes: only the child's may stay open.
    plumbing.close_child_ends();
    collect(plumbing, pid, options, result);
    const int status = wait_status(pid);
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.exit_code = result.signal != 0 ? 128 + result.signal : WEXITSTATUS(status);
    return result;
}

}  // namespace veldldap
