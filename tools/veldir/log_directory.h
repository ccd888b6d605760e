/*
 * Where veldir works while it hosts the driver.  The driver writes its log
 * libveldldap.log into the working directory of its host, with the
 * initialisation string (password included, in whatever form the string
 * has it) and every value it reads.  veldir therefore chooses that
 * directory itself: --log-dir, or a private per-user state directory
 * ($XDG_STATE_HOME/veldir, else ~/.local/state/veldir), created readable
 * by the user alone, rather than wherever the user happens to be.  The
 * paths on the command line are made absolute first, so that they keep
 * meaning what the user meant; veldir moves only when it loads the driver.
 */
#ifndef VELDIR_LOG_DIRECTORY_H
#define VELDIR_LOG_DIRECTORY_H

#include <optional>
#include <string>

#include "cli.h"
#include "failure.h"

namespace log_directory {

inline constexpr const char *kLogFileName = "libveldldap.log";

// Makes the file paths among the options and the arguments absolute, and
// remembers the log directory the invocation asks for.
void prepare(Invocation &invocation);

// Creates the directory (each missing part 0700) and moves into it; once
// per process.  The default one must be the user's own and closed to
// others.  A failure names the directory and why.
std::optional<Failure> enter();

// The absolute path of the driver's log once veldir is in the directory and
// the file is there; "" otherwise, so that no message points at a log that
// was never written.
std::string log_file();

// The directory veldir uses or would use (for the help and messages).
std::string describe();

}  // namespace log_directory

#endif
