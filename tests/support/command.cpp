#include "support/command.h"

#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char **environ;

namespace {

// Memory files instead of pipes: the tool can write any amount while we
// wait for it, and no reader thread is needed.
class MemoryFile {
public:
    explicit MemoryFile(const char *name) : fd_(::memfd_create(name, MFD_CLOEXEC)) {
        if (fd_ < 0) throw std::runtime_error(std::string("memfd_create: ") + std::strerror(errno));
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    int fd() const { return fd_; }

    void write_all(const std::string &text) {
        for (size_t done = 0; done < text.size();) {
            const ssize_t n = ::pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw std::runtime_error(std::string("write: ") + std::strerror(errno));
            done += static_cast<size_t>(n);
        }
    }

    std::string read_all() const {
        std::string text;
        char buffer[8192];
        for (off_t offset = 0;;) {
            const ssize_t n = ::pread(fd_, buffer, sizeof buffer, offset);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return text;
            text.append(buffer, static_cast<size_t>(n));
            offset += n;
        }
    }

private:
    int fd_;
};

std::vector<std::string> merged_environment(const std::vector<std::string> &extra) {
    std::vector<std::string> merged;
    for (char **variable = environ; *variable != nullptr; ++variable) {
        const std::string_view inherited(*variable);
        const auto name = inherited.substr(0, inherited.find('=') + 1);
        bool replaced = false;
        for (const auto &added : extra) replaced = replaced || added.starts_with(name);
        if (!replaced) merged.emplace_back(inherited);
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

std::vector<char *> pointers(std::vector<std::string> &texts) {
    std::vector<char *> result;
    for (auto &text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

std::string CommandResult::summary() const {
    return "exit status " + std::to_string(exit_status) + ": " + errors;
}

CommandResult run_command(const std::vector<std::string> &argv, const std::string &input,
                          const std::vector<std::string> &environment) {
    MemoryFile in("stdin"), out("stdout"), err("stderr");
    in.write_all(input);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fd(), STDERR_FILENO);

    auto arguments = argv;
    auto variables = merged_environment(environment);
    auto argument_pointers = pointers(arguments);
    auto variable_pointers = pointers(variables);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argument_pointers[0], &actions, nullptr,
                                       argument_pointers.data(), variable_pointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot run " + argv.at(0) + ": " + std::strerror(spawned));

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    CommandResult result;
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = out.read_all();
    result.errors = err.read_all();
    return result;
}
