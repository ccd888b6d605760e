#include "connection.h"

#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <ostream>

#include "bind_password.h"
#include "connection_probe.h"
#include "entry_names.h"
#include "exit_codes.h"
#include "init_source.h"
#include "init_string_check.h"
#include "output.h"
#include "trusted_file.h"

namespace {

// ./libdsv.cfg in any form counts as present: a planted symbolic link or
// FIFO of that name is refused by name rather than passed over.
bool default_config_present() {
    struct stat status {};
    return ::lstat(kDefaultConfigFile, &status) == 0;
}

Outcome read_configuration(const Invocation &invocation, ConnectionSettings &settings) {
    if (invocation.config_file) return read_config_file(*invocation.config_file, settings);
    if (init_string_given(invocation) || !default_config_present()) return std::nullopt;
    return read_config_file((std::filesystem::current_path() / kDefaultConfigFile).string(), settings);
}

// A driver named by a configuration file runs inside veldir as the user:
// it is loaded only on the same terms as the file.
Outcome check_driver(const ConnectionSettings &settings) {
    if (!settings.driver_from_file) return std::nullopt;
    const std::optional<std::string> problem = check_trusted_library(settings.driver);
    if (!problem) return std::nullopt;
    return tool_failure("load driver",
                        "the driver " + settings.driver + " named in " + settings.config_file + " is not loaded: " +
                            *problem,
                        "name a driver that only you or root can change, or give --driver PATH", kExitConfiguration);
}

// Each string's warnings, named by its server when there are several; and
// one when the replicas name different bases, where a move would look
// elsewhere.
void add_string_warnings(ConnectionSettings &settings) {
    const bool several = settings.inits.size() > 1;
    for (std::size_t i = 0; i < settings.inits.size(); ++i)
        for (std::string &warning : init_string_warnings(settings.inits[i]))
            settings.warnings.push_back((several ? "server " + std::to_string(i + 1) + ": " : "") + warning);
    const std::optional<std::string> first_base = url_base_dn(settings.inits.front());
    for (std::size_t i = 1; i < settings.inits.size(); ++i)
        if (url_base_dn(settings.inits[i]) != first_base)
            settings.warnings.push_back("server " + std::to_string(i + 1) +
                                        " names another base DN than server 1: a run that moves to it looks for "
                                        "the entries elsewhere");
}

ServerFailure server_failure(const Connection &connection, std::size_t server, Failure failure) {
    return {server + 1, connection.settings.inits.size(), server_label(connection.settings.inits[server]),
            std::move(failure)};
}

// Open, base and bind on connection.server.
Outcome start_session(Connection &connection) {
    std::unique_lock<std::mutex> held;
    if (connection.opening != nullptr) held = std::unique_lock(*connection.opening);
    if (Outcome failure = open_session(connection)) return failure;
    if (connection.base)
        if (Outcome failure = connection.session->set_search_base(*connection.base)) return failure;
    if (connection.bind) return bind_session(connection);
    return std::nullopt;
}

// The run ends with `last`: alone when it is the only server's failure,
// else with every server tried before it, each diagnosed now that the
// run has stopped (probing costs time a move should not).
Failure run_failure(Connection &connection, ServerFailure last) {
    std::vector<ServerFailure> tried = connection.passed_over;
    tried.push_back(std::move(last));
    for (ServerFailure &server : tried)
        diagnose_connection_failure(connection.settings.inits[server.number - 1], connection.settings.ca,
                                    server.failure);
    Failure failure = tried.back().failure;
    if (connection.settings.inits.size() > 1) failure.servers = std::move(tried);
    return failure;
}

}  // namespace

ServedBy Connection::served_by() const {
    return {server + 1, settings.inits.size(), server_label(init()), passed_over};
}

Outcome resolve_settings(const Invocation &invocation, ConnectionSettings &settings) {
    if (Outcome failure = read_configuration(invocation, settings)) return failure;
    if (Outcome failure = take_init_string(invocation, settings)) return failure;
    if (invocation.driver) {
        settings.driver = *invocation.driver;
        settings.driver_from_file = false;
    }
    if (invocation.ca) settings.ca = *invocation.ca;
    if (invocation.timelimit) settings.timelimit = invocation.timelimit;
    if (!settings.timelimit) settings.timelimit = kDefaultTimelimit;
    if (settings.driver.empty()) settings.driver = default_driver_path();
    if (Outcome failure = check_driver(settings)) return failure;
    if (settings.inits.empty() || std::find(settings.inits.begin(), settings.inits.end(), "") != settings.inits.end())
        return no_init_string(invocation, settings);
    if (Outcome failure = add_bind_password(invocation, settings)) return failure;
    add_string_warnings(settings);
    return std::nullopt;
}

Outcome open_session(Connection &connection) {
    connection.session = std::make_unique<Session>(connection.driver, connection.settings, connection.init());
    return connection.session->open();
}

Outcome bind_session(Connection &connection) { return connection.session->bind(); }

void diagnose(const Connection &connection, Failure &failure) {
    diagnose_connection_failure(connection.init(), connection.settings.ca, failure);
}

void print_warnings(std::ostream &err, const ConnectionSettings &settings) {
    for (const std::string &warning : settings.warnings) err << "veldir: warning: " << warning << '\n';
}

Outcome connect(const Invocation &invocation, Connection &connection, bool bind) {
    if (Outcome failure = resolve_settings(invocation, connection.settings)) return failure;
    print_warnings(std::cerr, connection.settings);
    if (Outcome failure = load_driver(connection.settings.driver, connection.driver)) return failure;
    connection.base = invocation.base;
    connection.bind = bind;
    return connect_from(connection, 0);
}

Outcome connect_from(Connection &connection, std::size_t first) {
    const std::size_t listed = connection.settings.inits.size();
    for (std::size_t server = first; server < listed; ++server) {
        connection.server = server;
        Outcome failure = start_session(connection);
        if (!failure) return std::nullopt;
        connection.session.reset();
        ServerFailure failed = server_failure(connection, server, std::move(*failure));
        if (!moves_to_next_server(failed.failure) || server + 1 == listed)
            return run_failure(connection, std::move(failed));
        connection.passed_over.push_back(std::move(failed));
    }
    return tool_failure("connect", "no server is left to try", "", kExitConfiguration);
}

Outcome move_to_next_server(Connection &connection, Failure failure) {
    connection.session.reset();
    ServerFailure failed = server_failure(connection, connection.server, std::move(failure));
    if (connection.server + 1 >= connection.settings.inits.size()) return run_failure(connection, std::move(failed));
    connection.passed_over.push_back(std::move(failed));
    return connect_from(connection, connection.server + 1);
}

Outcome run_with_failover(Connection &connection, const ServerOperation &operation) {
    for (bool repeated = false;; repeated = true) {
        Outcome failure = operation(*connection.session, repeated);
        if (!failure || !moves_to_next_server(*failure)) return failure;
        if (Outcome none_served = move_to_next_server(connection, std::move(*failure))) return none_served;
    }
}

void Connection::disconnect(std::ostream &err) {
    if (!session) return;
    for (Outcome failure : {session->unbind(), session->close()}) {
        if (!failure) continue;
        const std::vector<std::string> lines = failure_lines(*failure);
        err << "veldir: warning: " << lines.front() << '\n';
    }
}
