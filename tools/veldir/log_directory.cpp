#include "log_directory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "exit_codes.h"

namespace log_directory {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> g_chosen;  // --log-dir, absolute
std::string g_entered;                // the directory veldir moved into

fs::path default_directory() {
    if (const char *state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
        return fs::path(state) / "veldir";
    const char *home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd *user = ::getpwuid(::geteuid());
        home = user != nullptr ? user->pw_dir : "/";
    }
    return fs::path(home) / ".local" / "state" / "veldir";
}

void make_absolute(std::optional<std::string> &path) {
    if (!path || path->empty() || *path == "-") return;
    std::error_code ignored;
    *path = fs::absolute(*path, ignored).lexically_normal().string();
}

Failure directory_failure(const std::string &directory, const std::string &why) {
    return tool_failure("log directory", "cannot use the log directory " + directory + ": " + why,
                        "give another directory with --log-dir DIR", kExitConfiguration);
}

// Every missing component is created 0700, as a state directory should be.
std::optional<Failure> create_private(const fs::path &directory) {
    fs::path built;
    for (const fs::path &part : directory) {
        built /= part;
        if (::mkdir(built.c_str(), 0700) != 0 && errno != EEXIST)
            return directory_failure(directory.string(), "cannot create " + built.string() + ": " + std::strerror(errno));
    }
    return std::nullopt;
}

// The default directory must be the user's own: others who could write in
// it could plant files under the log's name.
std::optional<Failure> check_private(const fs::path &directory) {
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0) return directory_failure(directory.string(), std::strerror(errno));
    if (!S_ISDIR(status.st_mode)) return directory_failure(directory.string(), "it is not a directory");
    if (status.st_uid != ::geteuid()) return directory_failure(directory.string(), "it belongs to another user");
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return directory_failure(directory.string(), "others can write in it (chmod 700 it)");
    return std::nullopt;
}

}  // namespace

void prepare(Invocation &invocation) {
    for (std::optional<std::string> *path : {&invocation.config_file, &invocation.driver, &invocation.ca,
                                             &invocation.init_file, &invocation.password_file, &invocation.log_dir})
        make_absolute(*path);
    // import's FILE may be read after veldir has moved.
    if (invocation.command == "import" && !invocation.arguments.empty()) {
        std::optional<std::string> file = invocation.arguments.front();
        make_absolute(file);
        invocation.arguments.front() = *file;
    }
    g_chosen = invocation.log_dir;
}

std::optional<Failure> enter() {
    if (!g_entered.empty()) return std::nullopt;
    const fs::path directory = g_chosen ? fs::path(*g_chosen) : default_directory();
    if (std::optional<Failure> failure = create_private(directory)) return failure;
    // A directory the user named is the user's choice.
    if (!g_chosen)
        if (std::optional<Failure> failure = check_private(directory)) return failure;
    if (::chdir(directory.c_str()) != 0) return directory_failure(directory.string(), std::strerror(errno));
    g_entered = directory.string();
    return std::nullopt;
}

std::string log_file() {
    if (g_entered.empty()) return "";
    const fs::path file = fs::path(g_entered) / kLogFileName;
    // Only a file the driver would have written to (it refuses any other).
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
        status.st_nlink != 1)
        return "";
    return file.string();
}

std::string describe() { return g_chosen ? *g_chosen : default_directory().string(); }

}  // namespace log_directory
