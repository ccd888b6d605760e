/*
 * Where the initialisation string comes from: --init STRING, --init - (the
 * first line of standard input), --init-file FILE (its first line), or
 * init = of the configuration file.  A string on the command line is in the
 * process list for every local user to read, so one that holds a password
 * draws a warning, as does a file that others can read.  When there is no
 * string, the failure says where veldir looked.
 */
#ifndef VELDIR_INIT_SOURCE_H
#define VELDIR_INIT_SOURCE_H

#include <optional>
#include <string>

#include "cli.h"
#include "config.h"
#include "failure.h"

// Whether the invocation gives the string itself, so that no configuration
// file is read unless --config names one.
bool init_string_given(const Invocation &invocation);

// Takes the string the options give into `settings`, if any.
std::optional<Failure> take_init_string(const Invocation &invocation, ConnectionSettings &settings);

// The failure when no source gave a string: the file read and its sections.
Failure no_init_string(const Invocation &invocation, const ConnectionSettings &settings);

// The first line of `fd` (without its line feed), at most `limit` bytes;
// false when reading fails or the line is longer.
bool read_first_line(int fd, std::size_t limit, std::string &line);

#endif
