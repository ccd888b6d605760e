#include "cli.h"

#include <array>
#include <cctype>
#include <string_view>

#include "schema.h"

namespace {

struct CommandSpec {
    std::string_view name;
    std::string_view synopsis;
    std::string_view summary;
    int min_arguments;
    int max_arguments;  // -1: any number
    std::string_view details;
};

constexpr int kAny = -1;

constexpr std::array<CommandSpec, 11> kCommands{{
    {"search", "search", "list the server entries below the search base", 0, 0,
     "Lists every server entry directly below the search base (the base DN of the\n"
     "URL, or --base): one table row per entry, or all entries with --json or --ldif.\n"
     "Finding no entries is not a failure.\n"},
    {"read", "read NAME", "show one server entry", 1, 1,
     "NAME is a server name (srv1), looked up one level below the search base, or a\n"
     "distinguished name beginning with \"velmorServername=\", looked up as it is.\n"
     "An entry that is not there gives DLDAP_ERR_NOENTRY and exit code 1.\n"},
    {"add", "add NAME ATTRIBUTE=VALUE...", "create a server entry", 1, kAny,
     "Creates the entry velmorServername=NAME below the search base (or the entry of\n"
     "that distinguished name) with the object class velmorServer and the values\n"
     "given.  velmorServername=NAME is added when not given.  Repeat an attribute to\n"
     "give it several values:\n"
     "  veldir add srv1 velmorVersion=3 velmorAddress='tcp#0#srvhost 5000' \\\n"
     "                  velmorAddress='tcp#0#srvhost 5001'\n"
     "See \"veldir help attributes\" for the attributes and how values are written.\n"},
    {"modify", "modify NAME ATTRIBUTE=VALUE...", "replace the values of some attributes", 2, kAny,
     "Replaces all values of each attribute given with the values given; attributes\n"
     "not named keep their values.  An attribute cannot be removed this way.\n"},
    {"delete", "delete NAME", "remove a server entry", 1, 1,
     "Removes the entry velmorServername=NAME below the search base, or the entry of\n"
     "that distinguished name.\n"},
    {"import", "import FILE", "add many entries from an LDIF or JSON file", 1, 1,
     "Adds every entry of FILE (\"-\" for standard input).  The format is told from the\n"
     "content: a file whose first non-blank character is { or [ is JSON, anything else\n"
     "LDIF.  The whole file is checked before anything is sent; a malformed file adds\n"
     "nothing (exit code 2).  Entries the directory refuses are listed with the reason\n"
     "at the end (exit code 1); the others are added.  A progress bar is shown when\n"
     "standard error is a terminal (--no-progress hides it).\n"
     "\n"
     "LDIF: records of \"dn:\" and \"attribute: value\" lines (\"::\" for base64),\n"
     "separated by blank lines; objectClass lines are ignored (velmorServer is always\n"
     "set); \"changetype: add\" is allowed, other change records are not.\n"
     "JSON: what \"veldir search --json\" prints, or a bare array of entries; each\n"
     "entry has \"name\" (server name) or \"dn\", and \"attributes\": an object whose\n"
     "members are attribute names with a value or an array of values (numbers or\n"
     "strings).\n"},
    {"props", "props", "show the session properties", 0, 0,
     "Opens a session (no bind) and shows the bind DN, the search base, the fixed\n"
     "texts of the driver and whether a password is set.  The password itself is\n"
     "never shown.\n"},
    {"check", "check", "diagnose the connection, step by step with timings", 0, 0,
     "Loads the driver, opens a session, binds (with StartTLS when the\n"
     "initialisation string says starttls), lists the entries below the base,\n"
     "unbinds and closes, timing each step.  A failing step is explained: the\n"
     "driver's failure code, the LDAP error, and a hint what to change.\n"},
    {"encipher", "encipher [--stdin]", "encipher a bind password for the initialisation string", 0, kAny,
     "Prints the enciphered form (\"0x01\" and 66 hexadecimal digits) of a password,\n"
     "to write instead of the clear password after bindname=...? in the\n"
     "initialisation string.  The password is asked for twice on the terminal, or\n"
     "read as one line of standard input with --stdin; never from the command line.\n"
     "Exit codes: 0 enciphered, 2 the password cannot be stored, 1 other errors.\n"},
    {"demo", "demo", "run the whole lifecycle against a throw-away directory server", 0, 0,
     "Starts a directory server (slapd) of its own on 127.0.0.1 with a free port, a\n"
     "temporary directory, the velmor schema, a few sample entries and TLS from a\n"
     "throw-away certificate authority; then opens a session, binds with StartTLS,\n"
     "searches, adds, reads, modifies, reads again, deletes, unbinds and closes,\n"
     "showing each step and its result.  The server is stopped and its directory\n"
     "removed at the end, also after a failure or Ctrl-C.  Needs slapd, slapadd and\n"
     "openssl on this machine.  No configuration is read.\n"},
    {"help", "help [COMMAND|TOPIC]", "help on a command or on: attributes, config, exit-codes", 0, 1, ""},
}};

constexpr std::string_view kOptions =
    "Connection options:\n"
    "  --config FILE        connection configuration file (default: ./libdsv.cfg if present)\n"
    "  --init STRING        initialisation string (instead of init = in the file)\n"
    "  --driver PATH        driver library (default: lib/libveldldap64.so.15.5.0 of\n"
    "                       veldir's own installation)\n"
    "  --ca FILE            CA certificate file for StartTLS and ldaps://\n"
    "  --timelimit SECONDS  longest wait for each answer of the server; 0: none (default 30)\n"
    "  --base DN            search base for this run instead of the URL's base DN\n"
    "  --deadline SECONDS   stop veldir when it runs longer than this (exit code 5)\n"
    "\n"
    "Output options:\n"
    "  --json               results and failures as JSON on standard output\n"
    "  --ldif               entries as LDIF\n"
    "  --no-progress        no progress bar for import\n"
    "  -h, --help           this text; with a command, that command's help\n"
    "  --version            veldir's version\n";

constexpr std::string_view kConfigHelp =
    "The connection configuration file libdsv.cfg (found with --config FILE, else in\n"
    "the working directory) is an INI-style file; veldir reads its [DIRECTORY]\n"
    "section:\n"
    "\n"
    "  # lines beginning with # or ; are comments\n"
    "  [DIRECTORY]\n"
    "  driver    = /opt/velmor/lib/libveldldap64.so.15.5.0\n"
    "  init      = retry=2 delay=1 starttls ldap://dirhost:389/ou=servers,o=acme????bindname=cn=app,o=acme?0x01...\n"
    "  ca        = /etc/velmor/ca.pem\n"
    "  timelimit = 30\n"
    "\n"
    "Every key is optional; command-line options win over the file.  Keys and the\n"
    "section name are case-insensitive; a key may appear once.  Values are taken\n"
    "from after the = to the end of the line, blanks at both ends removed; put a\n"
    "value in double quotes to keep such blanks.  There are no end-of-line comments,\n"
    "so a password may contain # and ;.  Relative paths count from the directory of\n"
    "the file.  Other sections are ignored.\n"
    "\n"
    "The initialisation string:  [retry=N] [delay=N] [starttls] URL\n"
    "where URL is ldap://HOST:PORT/BASE-DN????bindname=BIND-DN?PASSWORD (or ldaps://);\n"
    "the port and base DN are required, the password is clear text or the\n"
    "enciphered form made by \"veldir encipher\".  Without the password the session\n"
    "binds anonymously.\n";

constexpr std::string_view kExitCodeHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the operation failed: the directory refused it or the entry is not there\n"
    "     (also: import with some entries refused)\n"
    "  2  usage error: unknown command or option, bad value, malformed import file\n"
    "  3  configuration or connection problem: no or bad initialisation string,\n"
    "     driver not loadable, server unreachable, bind refused, TLS failure\n"
    "  4  internal problem: out of memory, the driver misbehaved\n"
    "  5  the --deadline passed\n"
    "  (encipher has its own: 0 enciphered, 1 failure, 2 password not storable)\n";

const CommandSpec *find_command(std::string_view name) {
    for (const CommandSpec &command : kCommands)
        if (command.name == name) return &command;
    return nullptr;
}

void print_attributes(std::ostream &out) {
    out << "Attributes of a server entry (names are case-insensitive; the OID works too):\n\n";
    for (const AttributeSpec &definition : server_attributes()) {
        std::string name(definition.name);
        name.resize(32, ' ');
        out << "  " << name << syntax_name(definition.syntax) << '\n';
    }
    out << "\nValues:\n"
           "  integer            decimal, e.g. velmorVersion=3 or velmorStatus=-1\n"
           "  string             any text up to 512 characters\n"
           "  OID                dotted decimal, e.g. velmorSecurity=1.3.6.1.4.1.32473.1\n"
           "  transport address  TYPE#ACCESS#ADDRESS, e.g. velmorAddress='tcp#0#srvhost 5000':\n"
           "                     TYPE up to 63 characters (tcp, TCP, QRWINET, ...), ACCESS a\n"
           "                     decimal number, ADDRESS up to 511 characters; for TCP the\n"
           "                     address is \"HOST PORT\" and maybe a filter after them.\n"
           "                     The driver stores TCP addresses as TCP#... (or tcp#... with\n"
           "                     a filter) and turns commas into blanks.\n";
}

void print_overview(std::ostream &out) {
    out << "veldir - keep and look up server entries in an LDAP directory through the\n"
           "veldldap directory driver\n\n"
           "Usage: veldir [OPTIONS] COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const CommandSpec &command : kCommands) {
        std::string synopsis(command.synopsis);
        synopsis.resize(std::max<std::size_t>(synopsis.size() + 2, 32), ' ');
        out << "  " << synopsis << command.summary << '\n';
    }
    out << '\n' << kOptions << '\n' << kExitCodeHelp
        << "\nThe connection comes from libdsv.cfg or --init: \"veldir help config\".\n"
           "The driver writes its log libveldldap.log into the working directory.\n";
}

// "--name=value" or "--name value"; advances `i` past the value.
bool option_value(const std::vector<std::string> &words, std::size_t &i, std::string_view name,
                  std::string &value, std::string &error) {
    const std::string &word = words[i];
    if (word.size() > name.size() && word.compare(0, name.size(), name) == 0 && word[name.size()] == '=') {
        value = word.substr(name.size() + 1);
        return true;
    }
    if (i + 1 >= words.size()) {
        error = std::string(name) + " needs a value";
        return false;
    }
    value = words[++i];
    return true;
}

bool is_option(const std::string &word, std::string_view name) {
    return word == name || (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
                            word[name.size()] == '=');
}

bool parse_number(const std::string &text, std::string_view name, double &number, std::string &error) {
    try {
        std::size_t used = 0;
        number = std::stod(text, &used);
        if (used == text.size() && number >= 0) return true;
    } catch (const std::exception &) {
    }
    error = std::string(name) + " needs a number of seconds, not \"" + text + "\"";
    return false;
}

// One global option at words[i]; false with `error` when it is malformed or unknown.
bool take_option(const std::vector<std::string> &words, std::size_t &i, Invocation &invocation, std::string &error) {
    const std::string &word = words[i];
    std::string value;
    double number = 0;
    struct Flag {
        std::string_view name;
        void (*set)(Invocation &);
    };
    static constexpr Flag kFlags[] = {
        {"-h", [](Invocation &target) { target.help = true; }},
        {"--help", [](Invocation &target) { target.help = true; }},
        {"--version", [](Invocation &target) { target.version = true; }},
        {"--json", [](Invocation &target) { target.format = Format::json; }},
        {"--ldif", [](Invocation &target) { target.format = Format::ldif; }},
        {"--no-progress", [](Invocation &target) { target.progress = false; }},
    };
    for (const Flag &flag : kFlags) {
        if (word != flag.name) continue;
        flag.set(invocation);
        return true;
    }
    struct TextOption {
        std::string_view name;
        std::optional<std::string> Invocation::*field;
    };
    static constexpr TextOption kTextOptions[] = {
        {"--config", &Invocation::config_file}, {"--init", &Invocation::init}, {"--driver", &Invocation::driver},
        {"--ca", &Invocation::ca},              {"--base", &Invocation::base},
    };
    for (const TextOption &option : kTextOptions) {
        if (!is_option(word, option.name)) continue;
        if (!option_value(words, i, option.name, value, error)) return false;
        invocation.*option.field = value;
        return true;
    }
    if (is_option(word, "--timelimit")) {
        if (!option_value(words, i, "--timelimit", value, error)) return false;
        const std::optional<CS_INT> seconds = parse_integer(value);
        if (!seconds || *seconds < 0) {
            error = "--timelimit needs a whole number of seconds (0: no limit), not \"" + value + "\"";
            return false;
        }
        invocation.timelimit = *seconds;
        return true;
    }
    if (is_option(word, "--deadline")) {
        if (!option_value(words, i, "--deadline", value, error) || !parse_number(value, "--deadline", number, error))
            return false;
        invocation.deadline = number;
        return true;
    }
    error = "unknown option \"" + word + "\" (see veldir --help)";
    return false;
}

bool check_arguments(const Invocation &invocation, std::string &error) {
    const CommandSpec *command = find_command(invocation.command);
    if (command == nullptr) {
        error = "unknown command \"" + invocation.command + "\" (see veldir --help)";
        return false;
    }
    const int count = static_cast<int>(invocation.arguments.size());
    if (count < command->min_arguments || (command->max_arguments != kAny && count > command->max_arguments)) {
        error = "usage: veldir " + std::string(command->synopsis);
        return false;
    }
    return true;
}

}  // namespace

std::optional<Invocation> parse_command_line(const std::vector<std::string> &words, std::string &error) {
    Invocation invocation;
    bool options_ended = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        // encipher reads its own options (velenc's), so they pass through untouched.
        const bool own_options = invocation.command == "encipher";
        if (!options_ended && !own_options && word == "--") {
            options_ended = true;
        } else if (!options_ended && !own_options && word.size() > 1 && word.front() == '-') {
            if (!take_option(words, i, invocation, error)) return std::nullopt;
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

bool print_help(std::ostream &out, const std::string &topic) {
    if (topic.empty()) {
        print_overview(out);
        return true;
    }
    if (topic == "attributes") {
        print_attributes(out);
        return true;
    }
    if (topic == "config") {
        out << kConfigHelp;
        return true;
    }
    if (topic == "exit-codes") {
        out << kExitCodeHelp;
        return true;
    }
    const CommandSpec *command = find_command(topic);
    if (command == nullptr) return false;
    std::string summary(command->summary);
    summary.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(summary.front())));
    out << "Usage: veldir [OPTIONS] " << command->synopsis << "\n\n" << summary << ".\n\n"
        << command->details << '\n' << kOptions;
    return true;
}
