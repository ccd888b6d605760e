#include "connection.h"

#include <filesystem>
#include <ostream>

#include "output.h"

Outcome resolve_settings(const Invocation &invocation, ConnectionSettings &settings) {
    std::error_code error;
    if (invocation.config_file) {
        if (Outcome failure = read_config_file(*invocation.config_file, settings)) return failure;
    } else if (std::filesystem::exists(kDefaultConfigFile, error)) {
        if (Outcome failure = read_config_file(kDefaultConfigFile, settings)) return failure;
    }
    if (invocation.init) settings.init = *invocation.init;
    if (invocation.driver) settings.driver = *invocation.driver;
    if (invocation.ca) settings.ca = *invocation.ca;
    if (invocation.timelimit) settings.timelimit = invocation.timelimit;
    if (!settings.timelimit) settings.timelimit = kDefaultTimelimit;
    if (settings.driver.empty()) settings.driver = default_driver_path();
    return std::nullopt;
}

Outcome connect(const Invocation &invocation, Connection &connection, bool bind) {
    if (Outcome failure = resolve_settings(invocation, connection.settings)) return failure;
    if (Outcome failure = load_driver(connection.settings.driver, connection.driver)) return failure;
    connection.session = std::make_unique<Session>(connection.driver, connection.settings);
    if (Outcome failure = connection.session->open()) return failure;
    if (invocation.base)
        if (Outcome failure = connection.session->set_search_base(*invocation.base)) return failure;
    if (bind) return connection.session->bind();
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
