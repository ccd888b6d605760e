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

std::optional<Invocation> parse_command_line(const std::vector<std::string> &words, std::string &error) {
    Invocation invocation;
    std::set<const Option *> given;
    bool options_ended = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        // encipher reads its own options (velenc's), so they pass through untouched.
        const bool own_options = invocation.command == "encipher";
        if (!options_ended && !own_options && word == "--") {
            options_ended = true;
        } else if (!options_ended && !own_options && word.size() > 1 && word.front() == '-') {
            if (!take_option(words, i, invocation, given, error)) return std::nullopt;
        } else if (invocation.command.empty()) {
            invocation.command = word;
        } else {
            invocation.arguments.push_back(word);
        }
    }
    if (invocation.help || invocation.version) return invocation;
    if (invocation.command.empty()) {
        error = "no command given (see veldir --help)";
        return std::nullopt;
    }
    if (!check_arguments(invocation, error)) return std::nullopt;
    return invocation;
}
