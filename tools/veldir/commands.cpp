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
                  const ServerOperation &operation, const std::function<void(const ServedBy &)> &report) {
    Connection connection;
    Outcome failure = connect(invocation, connection, bind);
    if (!failure) failure = run_with_failover(connection, operation);
    connection.disconnect(err);
    if (!failure) {
        const ServedBy served = connection.served_by();
        report(served);
        print_served_by(err, served);
        return kExitOk;
    }
    // A failure that ended the tries names every server itself; another
    // came from the server that was serving.
    const bool on_a_server = failure->servers.empty() && connection.session != nullptr;
    const ServedBy served = on_a_server ? connection.served_by() : ServedBy{};
    print_failure(out, err, invocation.format, *failure, on_a_server ? &served : nullptr);
    return failure->exit_code;
}
