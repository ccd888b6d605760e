#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace veldldap {

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
        error = arguments.front() + " was not found (is it installed?)";
        return -1;
    }
    std::vector<std::string> copies(arguments);
    std::vector<char *> argv;
    for (std::string &argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const int log = ::open(log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int null_input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || null_input < 0) {
        error = "cannot open " + log_file + ": " + std::strerror(errno);
        if (log >= 0) ::close(log);
        if (null_input >= 0) ::close(null_input);
        return -1;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (options.own_process_group) ::setpgid(0, 0);
        ::dup2(null_input, STDIN_FILENO);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (options.die_with_parent) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(1);  // the parent died before prctl
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(log);
    ::close(null_input);
    if (pid < 0) {
        error = std::string("fork failed: ") + std::strerror(errno);
        return -1;
    }
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
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
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

}  // namespace veldldap
