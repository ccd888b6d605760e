#include "trusted_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::string octal_mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::optional<std::string> kind_problem(const struct stat &status) {
    if (S_ISREG(status.st_mode)) return std::nullopt;
    if (S_ISDIR(status.st_mode)) return "it is a directory, not a file";
    if (S_ISFIFO(status.st_mode)) return "it is a FIFO, not a regular file";
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return "it is a device, not a regular file";
    return "it is not a regular file";
}

bool trusted_owner(uid_t owner) { return owner == ::geteuid() || owner == 0; }

std::optional<std::string> owner_and_mode_problem(const struct stat &status, const std::string &what) {
    if (!trusted_owner(status.st_uid))
        return what + " belongs to another user (uid " + std::to_string(status.st_uid) + ")";
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "others can write " + what + " (mode " + octal_mode(status.st_mode) + ")";
    return std::nullopt;
}

// Others who can write in the directory can replace the file by another.
std::optional<std::string> directory_problem(const std::string &path) {
    std::error_code ignored;
    const fs::path directory = fs::absolute(path, ignored).lexically_normal().parent_path();
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0)
        return "its directory " + directory.string() + " cannot be examined: " + std::strerror(errno);
    return owner_and_mode_problem(status, "its directory " + directory.string());
}

std::optional<std::string> open_problem(int error) {
    switch (error) {
    case ELOOP: return "it is a symbolic link, which veldir does not follow here";
    case ENOENT: return "it does not exist";
    default: return std::string("it cannot be opened: ") + std::strerror(error);
    }
}

}  // namespace

std::optional<std::string> open_trusted(const std::string &path, TrustedFile &file) {
    file.descriptor.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.descriptor.get() < 0) return open_problem(errno);
    if (::fstat(file.descriptor.get(), &file.status) != 0) return std::string("it cannot be examined: ") + std::strerror(errno);
    if (std::optional<std::string> problem = kind_problem(file.status)) return problem;
    if (std::optional<std::string> problem = owner_and_mode_problem(file.status, "it")) return problem;
    if (std::optional<std::string> problem = directory_problem(path)) return problem;
    const int flags = ::fcntl(file.descriptor.get(), F_GETFL);
    ::fcntl(file.descriptor.get(), F_SETFL, flags & ~O_NONBLOCK);
    return std::nullopt;
}

std::optional<std::string> check_trusted_library(const std::string &path) {
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    if (error) return "it cannot be found: " + error.message();
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0) return std::string("it cannot be examined: ") + std::strerror(errno);
    const std::string what = target == fs::path(path) ? "it" : target.string();
    if (std::optional<std::string> problem = kind_problem(status)) return problem;
    if (std::optional<std::string> problem = owner_and_mode_problem(status, what)) return problem;
    return directory_problem(target.string());
}
