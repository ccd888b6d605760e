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

#include "output.h"

// What import does with an entry that exists already.
enum class ExistingPolicy { fail, skip, replace };

struct Invocation {
    std::string command;
    std::vector<std::string> arguments;

    std::optional<std::string> config_file;
    std::optional<std::string> init;
    std::optional<std::string> driver;
    std::optional<std::string> ca;
    std::optional<int> timelimit;
    std::optional<std::string> base;
    double deadline = 0;
    Format format = Format::table;
    bool progress = true;  // import's progress bar, when standard error is a terminal
    ExistingPolicy existing = ExistingPolicy::fail;
    bool dry_run = false;
    int jobs = 1;
    bool help = false;
    bool version = false;
};

// The invocation, or nullopt with the usage error in `error`.
std::optional<Invocation> parse_command_line(const std::vector<std::string> &words, std::string &error);

// The overview, or the help of one command or topic; false for an unknown topic.
bool print_help(std::ostream &out, const std::string &topic);

#endif
