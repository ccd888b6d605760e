/*
 * Where the initialisation strings come from: --init STRING (once per
 * server), --init - (standard input), --init-file FILE, or init = of the
 * configuration file (once per server).  A file or standard input gives one
 * string a line, in the order the servers are tried; blank lines and lines
 * beginning with # are passed over, since no string begins with #.  A
 * string on the command line is in the process list for every local user to
 * read, so one that holds a password draws a warning, as does a file that
 * others can read.  When there is no string, the failure says where veldir
 * looked.
 */
#ifndef VELDIR_INIT_SOURCE_H
#define VELDIR_INIT_SOURCE_H

#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "config.h"
#include "failure.h"

// Whether the invocation gives the strings itself, so that no configuration
// file is read unless --config names one.
bool init_string_given(const Invocation &invocation);

// Takes the strings the options give into `settings`, if any; they replace
// those of a configuration file.
std::optional<Failure> take_init_string(const Invocation &invocation, ConnectionSettings &settings);

// The failure when no source gave a string: the file read and its sections.
Failure no_init_string(const Invocation &invocation, const ConnectionSettings &settings);

// The strings of `fd`, one a line (without its line feed), blank lines and
// # comments passed over; false when reading fails or a line is longer
// than `limit` bytes.
bool read_init_lines(int fd, std::size_t limit, std::vector<std::string> &lines);

#endif
