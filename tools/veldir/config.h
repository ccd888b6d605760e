/*
 * The connection configuration file "libdsv.cfg": an INI-style file whose
 * [DIRECTORY] section names the driver, the initialisation string, the CA
 * certificate file and the time limit.  Comments are whole lines beginning
 * with # or ;.  Values may be quoted ("...") to keep blanks at their ends.
 * Relative paths count from the file's own directory.  Other sections are
 * left alone, so the file can be shared with other programs.
 */
#ifndef VELDIR_CONFIG_H
#define VELDIR_CONFIG_H

#include <optional>
#include <string>

#include "failure.h"

struct ConnectionSettings {
    std::string driver;              // path of the driver; empty: beside veldir's installation
    std::string init;                // the initialisation string
    std::string ca;                  // CA certificate file for TLS
    std::optional<int> timelimit;    // seconds per network wait; 0: no limit
};

inline constexpr const char *kDefaultConfigFile = "libdsv.cfg";

// Reads the [DIRECTORY] section of `path` into `settings` (keys absent from the
// file leave their fields alone).  A failure names the file and the line.
std::optional<Failure> read_config_file(const std::string &path, ConnectionSettings &settings);

#endif
