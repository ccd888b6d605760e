/*
 * veldir's global options, each written once: its name, the placeholder of
 * its value, the group it is listed under, how its value is checked and
 * stored in the Invocation, whether it may repeat, and its help line.  The
 * parser, --help and the manual page's OPTIONS section all walk this table,
 * so an option is added with one row here and the field its value fills.
 */
#ifndef VELDIR_OPTIONS_H
#define VELDIR_OPTIONS_H

#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"

enum class OptionGroup { connection, output, import, general };

struct OptionGroupTitle {
    OptionGroup group;
    std::string_view title;
};

// In the order --help and the manual page list them.
inline constexpr OptionGroupTitle kOptionGroups[] = {
    {OptionGroup::connection, "Connection options"},
    {OptionGroup::output, "Output options"},
    {OptionGroup::import, "Import options"},
    {OptionGroup::general, "Other options"},
};

struct Option {
    std::string_view name = {};        // "--timelimit"
    std::string_view short_name = {};  // "-h", or empty
    std::string_view value = {};       // placeholder of the value ("SECONDS"); empty for a flag
    OptionGroup group = OptionGroup::general;
    // Checks and stores the value (a flag gets an empty one); false when it is not what `needs` says.
    bool (*take)(Invocation &invocation, std::string_view value) = nullptr;
    std::string_view needs = {};       // "a number of seconds", for the usage error when `take` refuses
    bool repeats = false;              // an option with a value may be given once unless it repeats
    std::string_view setting = {};     // configuration key the option stands in for: its meaning and default
    std::string_view command = {};     // the one command it applies to; empty: every command
    std::string_view excludes = {};    // options it contradicts, by name, separated by blanks
    std::string_view help = {};        // the help line; empty: the setting's meaning
};

std::span<const Option> options();

// The option that stands in for a configuration key; null when none does.
const Option *option_for_setting(std::string_view key);

// "-h, --help" or "--timelimit SECONDS".
std::string option_label(const Option &option);

// The help line with the default of its setting, whether it repeats, the
// command it is for and the options it contradicts.
std::string option_help(const Option &option);

// The usage error of options given together that do not fit each other or
// the command; nullopt when they fit.
std::optional<std::string> check_combination(const std::set<const Option *> &given, std::string_view command);

// Takes the option at words[i] (advancing `i` past a separate value) into
// `invocation`; `given` remembers what was taken so far.  False with the
// usage error in `error` for an unknown, repeated or malformed option.
bool take_option(const std::vector<std::string> &words, std::size_t &i, Invocation &invocation,
                 std::set<const Option *> &given, std::string &error);

#endif
