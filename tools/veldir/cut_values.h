/*
 * Values the driver cut when it read them.  It copies a transport address
 * into the fixed fields of its record (type 63 bytes, address 511) and cuts
 * a longer text, logging "Result will be truncated!".  A value that fills a
 * field to its last byte is marked as possibly cut when the entry is copied
 * (entry.cpp); the driver's log of this run then decides: when it is
 * readable and holds no such line, every such value fitted exactly and the
 * marks go.  What stays marked is flagged on standard error, marked in the
 * JSON and LDIF output, and ends the command with kExitIncomplete; import
 * refuses to copy a marked value.
 */
#ifndef VELDIR_CUT_VALUES_H
#define VELDIR_CUT_VALUES_H

#include <ostream>
#include <string>
#include <vector>

#include "entry.h"

// The driver's log: in the working directory, rewritten by each process.
inline constexpr const char *kDriverLogFile = "libveldldap.log";

// Clears the marks when the driver's log of this run shows that nothing was cut.
void confirm_cut_values(std::vector<Entry> &entries, const std::string &log_file = kDriverLogFile);

// A warning on `err` for every marked value; true when there was one.
bool warn_cut_values(std::ostream &err, const std::vector<Entry> &entries);

#endif
