/*
 * veldir's commands, each written once: the function that runs it, its
 * synopsis and summary, how many arguments it takes, its help text and its
 * examples.  Dispatch, the argument check, the help, the manual page and the
 * README's tour of veldir all walk this table.
 */
#ifndef VELDIR_COMMAND_TABLE_H
#define VELDIR_COMMAND_TABLE_H

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli.h"

inline constexpr int kAnyNumber = -1;

struct Command {
    std::string_view name;
    std::string_view synopsis;  // "read NAME"
    std::string_view summary;   // lower case, no full stop: the overview lists it after the synopsis
    int min_arguments;
    int max_arguments;          // kAnyNumber: no upper limit
    int (*run)(const Invocation &invocation, std::ostream &out, std::ostream &err);
    // Plain words in paragraphs separated by blank lines; lines that begin
    // with a blank are shown as they are.
    std::string_view details;
    // One per line: the command line, a tab, what it does (may be empty).
    std::string_view examples;
    bool hidden = false;        // left out of the overview, the manual page and the tour
};

std::span<const Command> commands();

// Null when there is no such command.
const Command *find_command(std::string_view name);

// The examples of a command as (command line, what it does) pairs.
std::vector<std::pair<std::string, std::string>> examples_of(const Command &command);

#endif
