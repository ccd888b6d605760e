/*
 * Which failures move a run to the next server of a replicated directory.
 * The driver binds one session to one URL, so choosing among the replicas
 * is the host's: veldir tries the servers in the order listed and moves on
 * when the connection failed (the server down or unreachable, no LDAP
 * session, the time limit passed, StartTLS or TLS failed, the connection
 * lost, the server too busy or unavailable), never when the directory
 * refused something: credentials (49), rights (50) or an entry would be
 * refused the same by every replica, and a move would only hide the
 * refusal.  Nothing moves once the --deadline has passed.  The servers
 * replicate each other (OpenLDAP's multi-provider replication); veldir
 * only reads and writes where it is connected.
 */
#ifndef VELDIR_FAILOVER_H
#define VELDIR_FAILOVER_H

#include <cstddef>
#include <string>
#include <vector>

#include "failure.h"

// Whether another server could do what this one failed to do.
bool moves_to_next_server(const Failure &failure);

// Whether a write that failed so may still have been applied: its answer
// was lost with the connection, or the time limit passed waiting for it.
bool answer_lost(const Failure &failure);

// The server that served a run, and those passed over before it.
struct ServedBy {
    std::size_t number = 1;  // from 1, in the order listed
    std::size_t listed = 1;
    std::string address;
    std::vector<ServerFailure> passed_over;

    // Worth telling: a choice was made among several servers.
    bool several() const { return listed > 1; }
};

#endif
