/*
 * Getting from the command line to a bound session: the settings from
 * libdsv.cfg and the options (options win), the bind password put into the
 * strings, the driver loaded, and a session (open, the search base when
 * --base asks for it, the bind) on the first server listed that serves.  A
 * replicated directory lists several: a failure that another server could
 * do better moves the run to the next one (failover.h), before or in the
 * middle of an operation; after the last, the run fails with the failure of
 * each server tried.  A failure is explained with what veldir found out
 * about it itself (connection_probe.h).  The commands that talk to the
 * directory all start here.
 */
#ifndef VELDIR_CONNECTION_H
#define VELDIR_CONNECTION_H

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "cli.h"
#include "config.h"
#include "driver_loader.h"
#include "failover.h"
#include "session.h"

inline constexpr int kDefaultTimelimit = 30;

struct Connection {
    ConnectionSettings settings;
    DriverLibrary driver;
    std::unique_ptr<Session> session;
    std::size_t server = 0;                  // the session's: an index into settings.inits
    std::vector<ServerFailure> passed_over;  // servers left behind, in the order tried
    std::optional<std::string> base;         // --base, set on every session
    bool bind = true;
    // Held while a session is opened and bound, when connections of several
    // threads must open one at a time (import --jobs); null: none.
    std::mutex *opening = nullptr;

    const std::string &init() const { return settings.inits.at(server); }
    ServedBy served_by() const;

    // Unbinds and closes; a failure there is only worth a warning on `err`.
    void disconnect(std::ostream &err);
};

// The settings: libdsv.cfg (--config, or ./libdsv.cfg when present and the
// options give no string), then the options, then the bind password.
Outcome resolve_settings(const Invocation &invocation, ConnectionSettings &settings);

// Opens connection.session / binds it on connection.server, as they are.
Outcome open_session(Connection &connection);
Outcome bind_session(Connection &connection);
// Sets failure.diagnosis for a failure of the connection's server.
void diagnose(const Connection &connection, Failure &failure);

// The settings' warnings, one line each.
void print_warnings(std::ostream &err, const ConnectionSettings &settings);

// Settings and driver; then open, base, and the bind when `bind` is set, on
// the first server that serves.
Outcome connect(const Invocation &invocation, Connection &connection, bool bind);

// Settings from `connection.settings` as they are, the driver loaded: a
// session on the first server from `first` on that serves.
Outcome connect_from(Connection &connection, std::size_t first);

// After `failure` of the session's server: a session on the next server
// that serves; when none does, the failure of every server tried.
Outcome move_to_next_server(Connection &connection, Failure failure);

// One operation, run on the session; `repeated` is set when it runs again on
// another server because the connection failed under it, so that a write
// whose answer was lost can tell its own effect from another's.
using ServerOperation = std::function<Outcome(Session &session, bool repeated)>;

// Runs `operation`, moving to the next server and repeating it there as
// long as the failure is one that moves.
Outcome run_with_failover(Connection &connection, const ServerOperation &operation);

#endif
