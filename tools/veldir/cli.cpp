#include "cli.h"

#include <set>

#include "command_table.h"
#include "options.h"

namespace {

bool check_arguments(const Invocation &invocation, std::string &error) {
    const Command *command = find_command(invocation.command);
    if (command == nullptr) {
        error = "unknown command \"" + invocation.command + "\" (see veldir --help)";
        return false;
    }
    const int count = static_cast<int>(invocation.arguments.size());
    if (count < command->min_arguments || (command->max_arguments != kAnyNumber && count > command->max_arguments)) {
        error = "usage: veldir " + std::string(command->synopsis);
        return false;
    }
    return true;
}

}  // namespace

std::optional<Invocation> parse_command_line(const std::vector<std::string> &words, std::string &error,
                                             Format &format) {
    Invocation invocation;
    std::set<const Option *> given;
    bool options_ended = false;
    // After an error the rest is still read, for a --json further on.
    std::string first_error;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        // encipher reads its own options (velenc's), so they pass through untouched.
        const bool own_options = invocation.command == "encipher";
        if (!options_ended && !own_options && word == "--") {
            options_ended = true;
        } else if (!options_ended && !own_options && word.size() > 1 && word.front() == '-') {
            std::string option_error;
            if (!take_option(words, i, invocation, given, option_error) && first_error.empty())
                first_error = option_error;
        } else if (invocation.command.empty()) {
            invocation.command = word;
        } else {
            invocation.arguments.push_back(word);
        }
    }
    format = invocation.format;
    // Scripts that asked for JSON get JSON, even when they asked for more.
    for (const Option *option : given)
        if (option->name == "--json") format = Format::json;
    error = first_error;
    if (!error.empty()) return std::nullopt;
    if (invocation.help || invocation.version) return invocation;
    if (invocation.command.empty()) {
        error = "no command given (see veldir --help)";
        return std::nullopt;
    }
    if (!check_arguments(invocation, error)) return std::nullopt;
    if (std::optional<std::string> contradiction = check_combination(given, invocation.command)) {
        error = *contradiction;
        return std::nullopt;
    }
    return invocation;
}
