#include "options.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <utility>

#include "config.h"
#include "schema.h"

namespace {

template <auto field>
bool store_text(Invocation &invocation, std::string_view value) {
    invocation.*field = std::string(value);
    return true;
}

template <auto field>
bool append_text(Invocation &invocation, std::string_view value) {
    (invocation.*field).emplace_back(value);
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

// "velmorServername,velmorAddress": known attributes, in the vocabulary's spelling.
bool store_columns(Invocation &invocation, std::string_view value) {
    std::vector<std::string> columns;
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        const AttributeSpec *definition = find_attribute(value.substr(start, comma - start));
        if (definition == nullptr) return false;
        columns.emplace_back(definition->name);
        start = comma + 1;
    }
    invocation.columns = std::move(columns);
    return true;
}

bool store_server(Invocation &invocation, std::string_view value) {
    static constexpr std::pair<std::string_view, veldldap::DirectoryFlavour> kServers[] = {
        {"slapd", veldldap::DirectoryFlavour::slapd}, {"389ds", veldldap::DirectoryFlavour::ds389}};
    for (const auto &[name, flavour] : kServers) {
        if (value != name) continue;
        invocation.server = flavour;
        return true;
    }
    return false;
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
     .help = "connection configuration file (default: ./libdsv.cfg if present, unless --init or --init-file "
             "gives the string); used only when it is a regular file of yours or root's that no one else can "
             "write, in a directory no one else can write"},
    {.name = "--init", .value = "STRING", .group = OptionGroup::connection, .take = append_text<&Invocation::inits>,
     .repeats = true, .setting = "init",
     .help = "the initialisation string of a server, instead of init = in the configuration file; give it once "
             "per server of a replicated directory, in the order they are tried; - reads the strings from "
             "standard input, one a line.  Every local user sees it in the process list: give a password with "
             "--password-file or -W, or the strings with --init-file"},
    {.name = "--init-file", .value = "FILE", .group = OptionGroup::connection,
     .take = store_text<&Invocation::init_file>,
     .help = "read the initialisation strings from FILE, one server a line, in the order they are tried "
             "(blank lines and lines beginning with # are passed over), which keeps them out of the process "
             "list"},
    {.name = "--password-file", .value = "FILE", .group = OptionGroup::connection,
     .take = store_text<&Invocation::password_file>,
     .help = "read the bind password from the first line of FILE and put it into every initialisation string "
             "in memory only, enciphered where it can be, so that the driver's log never holds it in clear; "
             "each string must give bindname= and no password"},
    {.name = "--ask-password", .short_name = "-W", .group = OptionGroup::connection,
     .take = set<&Invocation::ask_password, true>,
     .help = "ask for the bind password on the terminal, without echo, and use it as --password-file does"},
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
     .help = "bound the whole run: veldir gives each driver call what remains as its time limit (never more "
             "than --timelimit; whole seconds, rounded up), and stops with exit code 5 when the deadline has "
             "passed.  The driver's add, modify and delete have no time limit of their own: there the alarm "
             "clock (SIGALRM) stops veldir"},
    {.name = "--json", .group = OptionGroup::output, .take = set<&Invocation::format, Format::json>,
     .excludes = "--ldif --columns --wide",
     .help = "results as JSON on standard output, and failures (usage errors too) as an object with \"ok\": "
             "false"},
    {.name = "--ldif", .group = OptionGroup::output, .take = set<&Invocation::format, Format::ldif>,
     .excludes = "--columns --wide", .help = "entries as LDIF"},
    {.name = "--columns", .value = "NAME,...", .group = OptionGroup::output, .take = store_columns,
     .needs = "attribute names separated by commas", .command = "search",
     .help = "the columns of the table, in this order (see veldir help attributes)"},
    {.name = "--wide", .group = OptionGroup::output, .take = set<&Invocation::wide, true>, .command = "search",
     .help = "every column with whole values; on a terminal the table is otherwise fitted to its width (long "
             "values cut short, the last columns left out when even that is too wide); a pipe or a file always "
             "gets everything"},
    {.name = "--no-progress", .group = OptionGroup::output, .take = set<&Invocation::progress, false>,
     .help = "no progress bar for import"},
    {.name = "--server", .value = "KIND", .take = store_server, .needs = "slapd or 389ds", .command = "demo",
     .help = "the throw-away directory server the demo starts: slapd (default) or 389ds (389 Directory "
             "Server)"},
    {.name = "--replicated", .take = set<&Invocation::replicated, true>, .command = "demo",
     .help = "start two slapd providers that replicate each other, and show a server stopped and the run "
             "moving to the other (slapd only)"},
    {.name = "--log-dir", .value = "DIR", .take = store_text<&Invocation::log_dir>,
     .help = "the directory veldir works in while it hosts the driver, where the driver writes its log "
             "libveldldap.log (default: $XDG_STATE_HOME/veldir, else ~/.local/state/veldir, created readable by "
             "you alone); paths on the command line still count from where you are"},
    {.name = "--existing", .value = "fail|skip|replace", .group = OptionGroup::import, .take = store_existing,
     .needs = "fail, skip or replace", .command = "import",
     .help = "what to do with an entry that exists already: refuse it (fail, the default), skip it, or "
             "replace the values of the attributes the file gives (the others keep theirs)"},
    {.name = "--dry-run", .group = OptionGroup::import, .take = set<&Invocation::dry_run, true>, .command = "import",
     .help = "check the file and, when a connection is configured, say what would be added, skipped or "
             "replaced; nothing is written"},
    {.name = "--jobs", .value = "N", .group = OptionGroup::import, .take = store_jobs,
     .needs = "a whole number from 1 to 16", .command = "import",
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

// Whether the blank-separated list `names` holds `name`.
bool names_hold(std::string_view names, std::string_view name) {
    for (std::size_t start = 0; start < names.size();) {
        const std::size_t blank = std::min(names.find(' ', start), names.size());
        if (names.substr(start, blank - start) == name) return true;
        start = blank + 1;
    }
    return false;
}

bool contradict(const Option &left, const Option &right) {
    return names_hold(left.excludes, right.name) || names_hold(right.excludes, left.name);
}

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
    if (!option.command.empty()) help += "; " + std::string(option.command) + " only";
    std::string contradicted;
    for (const Option &other : kOptions)
        if (contradict(option, other)) contradicted += (contradicted.empty() ? "" : ", ") + std::string(other.name);
    if (!contradicted.empty()) help += "; not with " + contradicted;
    return help;
}

std::optional<std::string> check_combination(const std::set<const Option *> &given, std::string_view command) {
    // In table order, so that the message does not depend on where the set keeps them.
    for (const Option &option : kOptions) {
        if (!given.contains(&option)) continue;
        if (!option.command.empty() && option.command != command)
            return std::string(option.name) + " applies to " + std::string(option.command) + " only";
        for (const Option &other : kOptions)
            if (&other > &option && given.contains(&other) && contradict(option, other))
                return std::string(option.name) + " and " + std::string(other.name) + " contradict each other";
    }
    return std::nullopt;
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
    const bool repeated = !given.insert(option).second;
    if (option->value.empty()) return option->take(invocation, {});
    if (repeated && !option->repeats) {
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
