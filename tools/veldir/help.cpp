// The help on the terminal, printed from veldir's tables: the overview, each
// command's help and the topics.
#include <algorithm>
#include <cctype>

#include "cli.h"
#include "command_table.h"
#include "commands.h"
#include "config.h"
#include "exit_codes.h"
#include "output.h"
#include "options.h"
#include "schema.h"
#include "text_layout.h"

namespace {

constexpr std::size_t kOptionColumn = 23;
constexpr std::size_t kExitCodeColumn = 5;
constexpr std::size_t kConfigKeyColumn = 13;

void print_options(std::ostream &out) {
    for (const OptionGroupTitle &group : kOptionGroups) {
        out << '\n' << group.title << ":\n";
        for (const Option &option : options())
            if (option.group == group.group) print_item(out, option_label(option), kOptionColumn, option_help(option));
    }
}

void print_exit_codes(std::ostream &out) {
    out << "Exit codes:\n";
    for (const ExitCodeMeaning &exit_code : kExitCodeMeanings)
        print_item(out, std::to_string(exit_code.code), kExitCodeColumn, exit_code.meaning);
    print_item(out, "", 2, kExitCodeExceptions);
}

void print_config(std::ostream &out) {
    out << "The connection configuration file libdsv.cfg (found with --config FILE, else in\n"
           "the working directory unless --init or --init-file gives the string) is an\n"
           "INI-style file; veldir reads its [DIRECTORY] section:\n\n";
    for (const std::string &line : sample_config_file()) out << "  " << line << '\n';
    out << "\nKeys:\n";
    for (const ConfigKey &key : config_keys()) {
        std::string text(key.meaning);
        if (!key.default_value.empty()) text += " (default: " + std::string(key.default_value) + ")";
        if (const Option *option = option_for_setting(key.key)) text += "; option " + std::string(option->name);
        print_item(out, key.key, kConfigKeyColumn, text);
    }
    out << '\n';
    print_item(out, "", 0, kConfigFileRules);
    out << "\nThe initialisation string:  [retry=N] [delay=N] [starttls] URL\n"
           "where URL is ldap://HOST:PORT/BASE-DN????bindname=BIND-DN?PASSWORD (or ldaps://);\n"
           "the port and base DN are required, the password is clear text or the\n"
           "enciphered form made by \"veldir encipher\".  Without the password the session\n"
           "binds anonymously.  --password-file FILE or -W puts the password into the\n"
           "string in memory, enciphered where it can be; a string given with --init is in\n"
           "the process list for every local user to read, so keep the password out of it.\n"
           "The enciphered form is reversible by anyone who has the driver library: the\n"
           "permissions of the file that holds it are its protection.\n";
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
           "  string             UTF-8 text of 1 to 512 bytes (a character outside ASCII\n"
           "                     takes 2 to 4)\n"
           "  OID                dotted decimal, e.g. velmorSecurity=1.3.6.1.4.1.32473.1\n"
           "  transport address  TYPE#ACCESS#ADDRESS, e.g. velmorAddress='tcp#0#srvhost 5000':\n"
           "                     TYPE up to 63 bytes (tcp, TCP, QRWINET, ...), ACCESS a\n"
           "                     decimal number, ADDRESS up to 511 bytes, the whole text up\n"
           "                     to 512; for TCP the address is \"HOST PORT\" and maybe a\n"
           "                     filter after them.  The driver stores TCP addresses as\n"
           "                     TCP#... (or tcp#... with a filter) and turns commas into\n"
           "                     blanks.\n"
           "An empty value is refused; modify cannot remove an attribute.\n";
}

struct Topic {
    std::string_view name;
    void (*print)(std::ostream &out);
};

constexpr Topic kTopics[] = {
    {"attributes", print_attributes},
    {"config", print_config},
    {"exit-codes", print_exit_codes},
};

std::string topic_names() {
    std::string names;
    for (const Topic &topic : kTopics) names += (names.empty() ? "" : ", ") + std::string(topic.name);
    return names;
}

void print_overview(std::ostream &out) {
    out << "veldir - keep and look up server entries in an LDAP directory through the\n"
           "veldldap directory driver\n\n"
           "Usage: veldir [OPTIONS] COMMAND [ARGUMENTS]\n\nCommands:\n";
    std::size_t column = 0;
    for (const Command &command : commands())
        if (!command.hidden) column = std::max(column, command.synopsis.size() + 4);
    for (const Command &command : commands())
        if (!command.hidden) print_item(out, command.synopsis, column, command.summary);
    print_options(out);
    out << '\n';
    print_exit_codes(out);
    out << "\nHelp topics: " << topic_names() << " (veldir help TOPIC).\n"
        << "The connection comes from libdsv.cfg, --init-file or --init: \"veldir help config\".\n"
           "The driver writes its log libveldldap.log, with the initialisation string and\n"
           "every value read, into veldir's log directory (--log-dir).\n";
}

void print_command(std::ostream &out, const Command &command) {
    out << "Usage: veldir [OPTIONS] " << command.synopsis << "\n\n" << as_sentence(command.summary) << "\n\n";
    print_item(out, "", 0, command.details);
    const auto examples = examples_of(command);
    if (!examples.empty()) {
        out << "\nExamples:\n";
        for (const std::string &line : commented_lines(examples)) out << "  " << line << '\n';
    }
    print_options(out);
}

}  // namespace

bool print_help(std::ostream &out, const std::string &topic) {
    if (topic.empty()) {
        print_overview(out);
        return true;
    }
    for (const Topic &known : kTopics) {
        if (known.name != topic) continue;
        known.print(out);
        return true;
    }
    const Command *command = find_command(topic);
    if (command == nullptr) return false;
    print_command(out, *command);
    return true;
}

int run_help(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    const std::string topic = invocation.arguments.empty() ? "" : invocation.arguments.front();
    if (print_help(out, topic)) return kExitOk;
    print_usage_error(out, err, invocation.format, "no help on \"" + topic + "\" (commands, " + topic_names() + ")");
    return kExitUsage;
}
