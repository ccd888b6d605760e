/*
 * Getting from the command line to a bound session: the settings from
 * libdsv.cfg and the options (options win), the bind password put into the
 * string, the driver loaded, the session opened, the search base set when
 * --base asks for it, and the bind.  A failed open or bind comes with what
 * veldir found out about it itself (connection_probe.h).  The commands that
 * talk to the directory all start here.
 */
#ifndef VELDIR_CONNECTION_H
#define VELDIR_CONNECTION_H

#include <memory>

#include "cli.h"
#include "config.h"
#include "driver_loader.h"
#include "session.h"

inline constexpr int kDefaultTimelimit = 30;

struct Connection {
    ConnectionSettings settings;
    DriverLibrary driver;
    std::unique_ptr<Session> session;

    // Unbinds and closes; a failure there is only worth a warning on `err`.
    void disconnect(std::ostream &err);
};

// The settings: libdsv.cfg (--config, or ./libdsv.cfg when present and the
// options give no string), then the options, then the bind password.
Outcome resolve_settings(const Invocation &invocation, ConnectionSettings &settings);

// Opens connection.session / binds it, with the failure diagnosed.
Outcome open_session(Connection &connection);
Outcome bind_session(Connection &connection);

// The settings' warnings, one line each.
void print_warnings(std::ostream &err, const ConnectionSettings &settings);

// Settings, driver, open, base; and the bind when `bind` is set.
Outcome connect(const Invocation &invocation, Connection &connection, bool bind);

#endif
