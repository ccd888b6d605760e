#include "failover.h"

#include <ldap.h>

#include <algorithm>
#include <iterator>

#include "exit_codes.h"

namespace {

// Failure codes about the way to the server, whatever number comes with
// them: no LDAP session, no answer in time, waiting or reading failed,
// StartTLS or its handshake failed.
constexpr CS_INT kConnectionCodes[] = {DLDAP_ERR_LDAPINIT, DLDAP_ERR_TIMEOUT, DLDAP_ERR_RESULT, DLDAP_ERR_PARSE,
                                       DLDAP_ERR_STARTTLS};

// The client library's numbers for a connection that broke or never came
// about; the request may have reached the server.
constexpr CS_INT kConnectionLost[] = {LDAP_SERVER_DOWN, LDAP_CONNECT_ERROR, LDAP_TIMEOUT};

// A server's own answer that it cannot serve now; a replica may.
constexpr CS_INT kServerCannotServe[] = {LDAP_BUSY, LDAP_UNAVAILABLE};

template <std::size_t size>
bool holds(const CS_INT (&list)[size], CS_INT value) {
    return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

bool from_the_driver_in_time(const Failure &failure) {
    return failure.from_driver && failure.exit_code != kExitDeadline &&
           failure.comp.dcl_status != DLDAP_STATUS_BAD_OPTION;
}

}  // namespace

bool moves_to_next_server(const Failure &failure) {
    if (!from_the_driver_in_time(failure)) return false;
    const DCL_COMP &comp = failure.comp;
    return holds(kConnectionCodes, comp.dcl_provstatus) || holds(kConnectionLost, comp.dcl_oserr) ||
           holds(kServerCannotServe, comp.dcl_oserr);
}

bool answer_lost(const Failure &failure) {
    return failure.from_driver &&
           (holds(kConnectionLost, failure.comp.dcl_oserr) || failure.comp.dcl_provstatus == DLDAP_ERR_TIMEOUT);
}
