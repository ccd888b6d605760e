/*
 * veldir's command line: global options (anywhere before "--"), the command
 * and its arguments, checked against the tables of options and commands;
 * and the help printed from those tables (help.cpp), one text per command
 * plus the topics "attributes", "config" and "exit-codes".  Nothing here
 * touches the driver.
 */
#ifndef VELDIR_CLI_H
#define VELDIR_CLI_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "directory_launcher.h"
#include "output.h"

// What import does with an entry that exists already.
enum class ExistingPolicy { fail, skip, replace };

struct Invocation {
    std::string command;
    std::vector<std::string> arguments;

    std::optional<std::string> config_file;
    std::vector<std::string> inits;            // --init, once per server; "-": from standard input
    std::optional<std::string> init_file;
    std::optional<std::string> password_file;
    bool ask_password = false;
    std::optional<std::string> log_dir;
    std::optional<std::string> driver;
    std::optional<std::string> ca;
    std::optional<int> timelimit;
    std::optional<std::string> base;
    double deadline = 0;
    Format format = Format::table;
    std::vector<std::string> columns;  // search's table: these columns, in this order
    bool wide = false;                 // search's table: values whole even on a terminal
    veldldap::DirectoryFlavour server = veldldap::DirectoryFlavour::slapd;  // the demo's
    bool replicated = false;                                                // the demo's: a replicated pair
    bool progress = true;  // import's progress bar, when standard error is a terminal
    ExistingPolicy existing = ExistingPolicy::fail;
    bool dry_run = false;
    int jobs = 1;
    bool help = false;
    bool version = false;
};

// The invocation, or nullopt with the first usage error in `error`.  The
// whole line is read either way, and `format` is the output format it asks
// for, so that the usage error itself can be reported as JSON.
std::optional<Invocation> parse_command_line(const std::vector<std::string> &words, std::string &error,
                                             Format &format);

// The overview, or the help of one command or topic; false for an unknown topic.
bool print_help(std::ostream &out, const std::string &topic);

#endif
