/*
 * The lines the driver adds to its log during one call, read back so that
 * a failure can be explained with them (check prints those of its failing
 * step).  The log is the one in veldir's log directory; a mark is its size
 * when the call began.  Secrets of the initialisation string are hidden in
 * what is read back, as everywhere veldir shows that string.
 */
#ifndef VELDIR_DRIVER_LOG_H
#define VELDIR_DRIVER_LOG_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace driver_log {

using Mark = std::uintmax_t;

// Where the log ends now; 0 while there is none.
Mark mark();

// The lines written between two marks, at most the last `count` of them,
// each secret text of `init` replaced by "****".
std::vector<std::string> lines_between(Mark begin, Mark end, std::string_view init, std::size_t count = 30);

}  // namespace driver_log

#endif
