/*
 * Files veldir acts on only when no one else could have put them there: a
 * configuration file (it names the driver to load, the CA that anchors the
 * certificate check, and the password) and a driver named by such a file.
 * Trusted is a regular file owned by the user or by root that no one else
 * can write, in a directory no one else can write.  A configuration file is
 * opened without following a symbolic link and without waiting (a FIFO
 * would block an ordinary open for ever) and checked on what was opened, so
 * that it cannot be swapped between the check and the reading.
 */
#ifndef VELDIR_TRUSTED_FILE_H
#define VELDIR_TRUSTED_FILE_H

#include <sys/stat.h>

#include <optional>
#include <string>

#include "file_descriptor.h"

struct TrustedFile {
    veldldap::FileDescriptor descriptor;  // open for reading, blocking again
    struct stat status {};
};

// Opens `path` for reading when it may be trusted; otherwise why not, in
// words that complete "PATH is not used: ...".
std::optional<std::string> open_trusted(const std::string &path, TrustedFile &file);

// Whether the library at `path` (after symbolic links, as the loader
// follows them) may be loaded; otherwise why not.
std::optional<std::string> check_trusted_library(const std::string &path);

// Whether users other than the owner can read the file.
inline bool others_can_read(const struct stat &status) { return (status.st_mode & (S_IRGRP | S_IROTH)) != 0; }

#endif
