#include "options.h"

#include <charconv>
#include <cmath>

#include "config.h"
#include "schema.h"

namespace {

template <auto field>
bool store_text(Invocation &invocation, std::string_view value) {
    invocation.*field = std::string(value);
    return true;
}

template <auto field, auto setting>
bool set(Invocation &invocation, std::string_view) {
    invocation.*field = setting;
    return true;
}

template <auto field>
bool store_whole_seconds(Invocation &invocation, std::string_view value) {
    const std::optional<CS_INT> seconds = parse_integer(value);
    if (!seconds || *seconds < 0) return false;
    invocation.*field = *seconds;
    return true;
}

template <auto field>
bool store_seconds(Invocation &invocation, std::string_view value) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) || seconds < 0)
        return false;
    invocation.*field = seconds;
    return true;
}

bool store_existing(Invocation &invocation, std::string_view value) {
    static constexpr std::pair<std::string_view, ExistingPolicy> kPolicies[] = {
        {"fail", ExistingPolicy::fail}, {"skip", ExistingPolicy::skip}, {"replace", ExistingPolicy::replace}};
    for (const auto &[word, policy] : kPolicies) {
        if (value != word) continue;
        invocation.existing = policy;
        return true;
    }
    return false;
}

constexpr int kMostJobs = 16;

bool store_jobs(Invocation &invocation, std::string_view value) {
    const std::optional<CS_INT> jobs = parse_integer(value);
    if (!jobs || *jobs < 1 || *jobs > kMostJobs) return false;
    invocation.jobs = *jobs;
    return true;
}

constexpr Option kOptions[] = {
    {.name = "--config", .value = "FILE", .group = OptionGroup::connection,
     .take = store_text<&Invocation::config_file>,
     .help = "connection configuration file (default: ./libdsv.cfg if present)"},
    {.name = "--init", .value = "STRING", .group = OptionGroup::connection, .take = store_text<&Invocation::init>,
     .setting = "init", .help = "the initialisation string, instead of init = in the configuration file"},
    {.name = "--driver", .value = "PATH", .group = OptionGroup::connection, .take = store_text<&Invocation::driver>,
     .setting = "driver"},
    {.name = "--ca", .value = "FILE", .group = OptionGroup::connection, .take = store_text<&Invocation::ca>,
     .setting = "ca"},
    {.name = "--timelimit", .value = "SECONDS", .group = OptionGroup::connection,
     .take = store_whole_seconds<&Invocation::timelimit>, .needs = "a whole number of seconds (0: no limit)",
     .setting = "timelimit"},
    {.name = "--base", .value = "DN", .group = OptionGroup::connection, .take = store_text<&Invocation::base>,
     .help = "search base for this run instead of the URL's base DN, set through the driver's properties; also "
             "the suffix of names built from server names"},
    {.name = "--deadline", .value = "SECONDS", .group = OptionGroup::connection,
     .take = store_seconds<&Invocation::deadline>, .needs = "a number of seconds",
     .help = "stop veldir with exit code 5 when it runs longer than this; the driver's blocking LDAP calls are "
             "never interrupted (--timelimit bounds them)"},
    {.name = "--json", .group = OptionGroup::output, .take = set<&Invocation::format, Format::json>,
     .help = "results as JSON on standard output, and failures as an object with \"ok\": false"},
    {.name = "--ldif", .group = OptionGroup::output, .take = set<&Invocation::format, Format::ldif>,
     .help = "entries as LDIF"},
    {.name = "--no-progress", .group = OptionGroup::output, .take = set<&Invocation::progress, false>,
     .help = "no progress bar for import"},
    {.name = "--existing", .value = "fail|skip|replace", .group = OptionGroup::import, .take = store_existing, .needs = "fail, skip or replace",
     .help = "what to do with an entry that exists already: refuse it (fail, the default), skip it, or "
             "replace the values of the attributes the file gives (the others keep theirs)"},
    {.name = "--dry-run", .group = OptionGroup::import, .take = set<&Invocation::dry_run, true>,
     .help = "check the file and, when a connection is configured, say what would be added, skipped or "
             "replaced; nothing is written"},
    {.name = "--jobs", .value = "N", .group = OptionGroup::import, .take = store_jobs, .needs = "a whole number from 1 to 16",
     .help = "send over N sessions at once, each on a thread of its own (default 1)"},
    {.name = "--help", .short_name = "-h", .take = set<&Invocation::help, true>,
     .help = "print the help (this text; with a command, that command's)"},
    {.name = "--version", .take = set<&Invocation::version, true>, .help = "print veldir's version"},
};

// The value of "--name=value" (which then is `word`), or nullopt when `word` does not name the option.
std::optional<std::string_view> inline_value(std::string_view word, std::string_view name) {
    if (name.empty() || !word.starts_with(name)) return std::nullopt;
    if (word.size() == name.size()) return std::string_view();
    if (word[name.size()] != '=') return std::nullopt;
    return word.substr(name.size() + 1);
}

const Option *find_option(std::string_view word) {
    for (const Option &option : kOptions) {
        for (std::string_view name : {option.name, option.short_name}) {
            if (name.empty()) continue;
            if (word == name || (!option.value.empty() && inline_value(word, name))) return &option;
        }
    }
    return nullptr;
}

std::string_view option_name_in(std::string_view word) { return word.substr(0, word.find('=')); }

}  // namespace

std::span<const Option> options() { return kOptions; }

const Option *option_for_setting(std::string_view key) {
    for (const Option &option : kOptions)
        if (!option.setting.empty() && option.setting == key) return &option;
    return nullptr;
}

std::string option_label(const Option &option) {
    std::string label;
    if (!option.short_name.empty()) label = std::string(option.short_name) + ", ";
    label += option.name;
    if (!option.value.empty()) label += " " + std::string(option.value);
    return label;
}

std::string option_help(const Option &option) {
    std::string help(option.help);
    if (const ConfigKey *key = find_config_key(option.setting)) {
        if (help.empty()) help = key->meaning;
        if (!key->default_value.empty()) help += " (default: " + std::string(key->default_value) + ")";
    }
    if (option.repeats) help += "; may be given more than once";
    return help;
}

bool take_option(const std::vector<std::string> &words, std::size_t &i, Invocation &invocation,
                 std::set<const Option *> &given, std::string &error) {
    const std::string &word = words[i];
    const Option *option = find_option(word);
    if (option == nullptr) {
        error = "unknown option \"" + word + "\" (see veldir --help)";
        return false;
    }
    const std::string_view name = option_name_in(word);
    if (option->value.empty()) return option->take(invocation, {});
    if (!given.insert(option).second && !option->repeats) {
        error = std::string(name) + " may be given only once";
        return false;
    }
    std::string_view value = *inline_value(word, name);
    if (word.size() == name.size()) {
        if (i + 1 >= words.size()) {
            error = std::string(name) + " needs a value";
            return false;
        }
        value = words[++i];
    }
    if (option->take(invocation, value)) return true;
    error = std::string(name) + " needs " + std::string(option->needs) + ", not \"" + std::string(value) + "\"";
    return false;
}
