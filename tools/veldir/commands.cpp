#include "commands.h"

#include <cstdio>
#include <span>

#include "command_table.h"
#include "connection.h"
#include "encipher.h"
#include "exit_codes.h"
#include "output.h"
#include "schema.h"

int run_encipher(const Invocation &invocation, std::ostream &out, std::ostream &) {
    out.flush();
    std::vector<char *> arguments;
    std::vector<std::string> copies(invocation.arguments);
    for (std::string &argument : copies) arguments.push_back(argument.data());
    return encipher_command("veldir encipher", std::span<char *const>(arguments.data(), arguments.size()), stdout,
                            stderr);
}

int run_command(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    if (const Command *command = find_command(invocation.command)) return command->run(invocation, out, err);
    print_usage_error(out, err, invocation.format, "unknown command \"" + invocation.command + "\"");
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
