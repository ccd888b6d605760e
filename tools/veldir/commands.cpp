#include "commands.h"

#include <cstdio>
#include <span>

#include "connection.h"
#include "encipher.h"
#include "exit_codes.h"
#include "output.h"
#include "schema.h"

namespace {

int run_help(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    const std::string topic = invocation.arguments.empty() ? "" : invocation.arguments.front();
    if (print_help(out, topic)) return kExitOk;
    err << "veldir: no help on \"" << topic << "\" (commands, attributes, config, exit-codes)\n";
    return kExitUsage;
}

int run_encipher(const Invocation &invocation, std::ostream &out, std::ostream &) {
    out.flush();
    std::vector<char *> arguments;
    std::vector<std::string> copies(invocation.arguments);
    for (std::string &argument : copies) arguments.push_back(argument.data());
    return encipher_command("veldir encipher", std::span<char *const>(arguments.data(), arguments.size()), stdout,
                            stderr);
}

struct CommandEntry {
    std::string_view name;
    int (*run)(const Invocation &, std::ostream &, std::ostream &);
};

constexpr CommandEntry kCommandTable[] = {
    {"search", run_search}, {"read", run_read},     {"add", run_add},         {"modify", run_modify},
    {"delete", run_delete}, {"props", run_props},   {"check", run_check},     {"import", run_import},
    {"demo", run_demo},     {"help", run_help},     {"encipher", run_encipher},
};

}  // namespace

int run_command(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    for (const CommandEntry &command : kCommandTable)
        if (command.name == invocation.command) return command.run(invocation, out, err);
    err << "veldir: unknown command \"" << invocation.command << "\"\n";
    return kExitUsage;
}

int run_connected(const Invocation &invocation, std::ostream &out, std::ostream &err, bool bind,
                  const std::function<Outcome(Session &)> &operation) {
    Connection connection;
    Outcome failure = connect(invocation, connection, bind);
    if (!failure) failure = operation(*connection.session);
    connection.disconnect(err);
    if (!failure) return kExitOk;
    print_failure(out, err, invocation.format, *failure);
    return failure->exit_code;
}
