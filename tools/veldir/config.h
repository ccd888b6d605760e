/*
 * The connection configuration file "libdsv.cfg": an INI-style file whose
 * [DIRECTORY] section names the driver, the initialisation string, the CA
 * certificate file and the time limit.  Comments are whole lines beginning
 * with # or ;.  Values may be quoted ("...") to keep blanks at their ends.
 * Relative paths count from the file's own directory.  Other sections are
 * left alone, so the file can be shared with other programs.  The keys are
 * one table, which the reader, the help and the documentation all use.
 */
#ifndef VELDIR_CONFIG_H
#define VELDIR_CONFIG_H

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "failure.h"

struct ConnectionSettings {
    std::string driver;              // path of the driver; empty: beside veldir's installation
    // One initialisation string per server, in the order they are tried:
    // several for the replicas of one directory (failover.h).
    std::vector<std::string> inits;
    std::string ca;                  // CA certificate file for TLS
    std::optional<int> timelimit;    // seconds per network wait; 0: no limit

    // What was read, for the messages when something is missing.
    std::string config_file;                   // empty: none was read
    std::vector<std::string> config_sections;  // the section names met, as written
    bool driver_from_file = false;             // driver = of the file
    std::vector<std::string> warnings;         // for the user, before anything is sent
};

inline constexpr const char *kDefaultConfigFile = "libdsv.cfg";

// One key of the [DIRECTORY] section: what it means, its default and a value
// for the sample file in the help, the manual page and the README.
struct ConfigKey {
    std::string_view key;
    std::string_view meaning;
    std::string_view default_value;  // empty: none
    std::string_view example;
    // Stores a value read from a file in `directory`; the complaint in words, or nullopt.
    std::optional<std::string> (*assign)(ConnectionSettings &settings, const std::filesystem::path &directory,
                                         const std::string &value);
    // A key that may appear several times; the sample file shows it once
    // more with this value.
    std::string_view repeated_example = {};
};

std::span<const ConfigKey> config_keys();

// The key of that name in any letter case; null when there is none.
const ConfigKey *find_config_key(std::string_view name);

// A sample file: a comment, the section header and every key with its example value.
std::vector<std::string> sample_config_file();

// How the file is written, beyond its keys.
inline constexpr std::string_view kConfigFileRules =
    "Every key is optional and may appear once, except init: a directory replicated over several servers "
    "lists one init per server, tried in the order written (ca and timelimit hold for all of them).  Keys and "
    "the section name are case-insensitive.  A value runs "
    "from after the = to the end of the line, blanks at both ends removed; put it in double quotes to keep such "
    "blanks.  There are no end-of-line comments, so a password may contain # and ;.  Relative paths count from "
    "the directory of the file.  Other sections are ignored, so the file can be shared with other programs.  "
    "Command-line options win over the file; with --init or --init-file no file is read unless --config names "
    "one.  veldir reads the file, and loads the driver it names, only when each is a regular file owned by you "
    "or root that no one else can write, in a directory no one else can write; otherwise it stops with exit code "
    "3 and says why.  A file that others can read and that holds a password, clear or enciphered, draws a "
    "warning: the enciphered form only keeps the password from being read at a glance, so the file's "
    "permissions are its protection.";

// Reads the [DIRECTORY] section of `path` into `settings` (keys absent from the
// file leave their fields alone), when the file may be trusted.  A failure
// names the file and the line, or why the file is not used.
std::optional<Failure> read_config_file(const std::string &path, ConnectionSettings &settings);

#endif
