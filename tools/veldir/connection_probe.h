/*
 * What veldir finds out itself when the driver could not open or bind a
 * session, to name the real cause rather than the nearest failure code.
 * The driver's report of a bind that failed before the server answered is
 * the same "can't contact the server" whether the port was closed, the CA
 * file missing, or the server's certificate signed by another CA; so veldir
 * probes as a client would: it connects to the address, reads the CA file,
 * and, with TLS, takes the server's certificate in a handshake that checks
 * nothing and examines it with GnuTLS, the TLS library of the system's
 * OpenLDAP client.  The probes take at most a few seconds, and never more
 * than what remains of the --deadline.
 */
#ifndef VELDIR_CONNECTION_PROBE_H
#define VELDIR_CONNECTION_PROBE_H

#include <string>
#include <string_view>

#include "failure.h"

// Sets failure.diagnosis when veldir finds something more specific than
// the driver's report: for a refused initialisation string, what is wrong
// with it; for a bind that failed before the server answered, whether the
// address can be reached, whether the CA file can be read and why the
// server's certificate was not accepted.
void diagnose_connection_failure(std::string_view init, const std::string &ca, Failure &failure);

// Why no TCP connection can be made to the server `init` names; "" when one
// can (a suspended server's kernel still accepts it).
std::string unreachable_reason(std::string_view init);

#endif
