#include "connection.h"

#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <ostream>

#include "bind_password.h"
#include "connection_probe.h"
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

}  // namespace

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
    if (settings.init.empty()) return no_init_string(invocation, settings);
    if (Outcome failure = add_bind_password(invocation, settings)) return failure;
    for (std::string &warning : init_string_warnings(settings.init)) settings.warnings.push_back(std::move(warning));
    return std::nullopt;
}

Outcome open_session(Connection &connection) {
    connection.session = std::make_unique<Session>(connection.driver, connection.settings);
    Outcome failure = connection.session->open();
    if (failure) diagnose_connection_failure(connection.settings, *failure);
    return failure;
}

Outcome bind_session(Connection &connection) {
    Outcome failure = connection.session->bind();
    if (failure) diagnose_connection_failure(connection.settings, *failure);
    return failure;
}

void print_warnings(std::ostream &err, const ConnectionSettings &settings) {
    for (const std::string &warning : settings.warnings) err << "veldir: warning: " << warning << '\n';
}

Outcome connect(const Invocation &invocation, Connection &connection, bool bind) {
    if (Outcome failure = resolve_settings(invocation, connection.settings)) return failure;
    print_warnings(std::cerr, connection.settings);
    if (Outcome failure = load_driver(connection.settings.driver, connection.driver)) return failure;
    if (Outcome failure = open_session(connection)) return failure;
    if (invocation.base)
        if (Outcome failure = connection.session->set_search_base(*invocation.base)) return failure;
    if (bind) return bind_session(connection);
    return std::nullopt;
}

void Connection::disconnect(std::ostream &err) {
    if (!session) return;
    for (Outcome failure : {session->unbind(), session->close()}) {
        if (!failure) continue;
        const std::vector<std::string> lines = failure_lines(*failure);
        err << "veldir: warning: " << lines.front() << '\n';
    }
}
