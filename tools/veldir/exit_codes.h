/*
 * The exit codes of veldir, one meaning each, so that scripts can tell a
 * refused operation from a broken configuration without reading messages.
 * Each code is written once with its meaning; the help, the manual page and
 * the README print the meanings from this list.
 */
#ifndef VELDIR_EXIT_CODES_H
#define VELDIR_EXIT_CODES_H

#include <string_view>

// X(name, code, meaning)
#define VELDIR_EXIT_CODES(X)                                                                                        \
    X(kExitOk, 0, "success")                                                                                        \
    X(kExitOperationFailed, 1,                                                                                      \
      "the operation failed: the directory refused it or the entry is not there (also: an import in which some "    \
      "entries were refused)")                                                                                      \
    X(kExitUsage, 2,                                                                                                \
      "usage error: unknown command or option, malformed value, malformed import file (nothing was sent)")          \
    X(kExitConfiguration, 3,                                                                                        \
      "configuration or connection problem: no or bad initialisation string or configuration file, driver not "     \
      "loadable, server unreachable, bind refused, StartTLS failure, time limit passed")                            \
    X(kExitInternal, 4, "internal problem: out of memory, or the driver misbehaved")                                \
    X(kExitDeadline, 5, "the --deadline passed")                                                                    \
    X(kExitIncomplete, 6,                                                                                           \
      "the listing is incomplete: the driver cut values it read (they are flagged on standard error and marked in " \
      "JSON and LDIF output)")

enum ExitCode : int {
#define VELDIR_EXIT_CODE_ENUMERATOR(name, code, meaning) name = code,
    VELDIR_EXIT_CODES(VELDIR_EXIT_CODE_ENUMERATOR)
#undef VELDIR_EXIT_CODE_ENUMERATOR
};

struct ExitCodeMeaning {
    int code;
    std::string_view meaning;
};

inline constexpr ExitCodeMeaning kExitCodeMeanings[] = {
#define VELDIR_EXIT_CODE_MEANING(name, code, meaning) {code, meaning},
    VELDIR_EXIT_CODES(VELDIR_EXIT_CODE_MEANING)
#undef VELDIR_EXIT_CODE_MEANING
};

// The codes that do not follow the table.
inline constexpr std::string_view kExitCodeExceptions =
    "The command encipher keeps the enciphering tool's own codes (0 enciphered, 1 failure, 2 the password cannot "
    "be stored); an interrupted demo ends with 128 + the signal number.";

#endif
