// StartTLS on a freshly created LDAP session, before anything else is sent
// on it.  Every failure ends the whole bind (no retry, no simple bind) and
// leaves the unprotected session in `ld` for the host to unbind.
#include <memory>

#include "ldap_alarm.h"
#include "ldap_conn.h"

namespace {

// The response value is asked for only to give it back.
struct ResponseValueRelease {
    void operator()(berval *data) const {
        if (data->bv_val != nullptr) gdd__provider().ber_memfree(data->bv_val);
        gdd__provider().ber_memfree(data);
    }
};
using ResponseValue = std::unique_ptr<berval, ResponseValueRelease>;

// Logs "<what> failed: "<text>"(<code>)" with the session's last result code.
CS_RETCODE report_session_error(LDAP *ld, const char *what, CS_INT provstatus, DCL_COMP *compp) {
    const int e = gdd__session_error(ld);
    GDD_LOG("%s failed: \"%s\"(%i)\n", what, gdd__error_text(e), e);
    return gdd__dldap_error(compp, provstatus, e);
}

// Sends the request and waits for its response; on success `response`
// holds the extended response.
CS_RETCODE request_start_tls(LDAP *ld, timeval *timeoutp, LdapMessage &response,
                             DCL_COMP *compp) {
    const LDAPAPI_PROVIDER &api = gdd__provider();
    GDD_LOG("Calling (async) LDAP_START_TLS\n");
    int msgid = 0;
    const int sent =
        with_alarm_clock_halted([&] { return api.ldap_start_tls(ld, nullptr, nullptr, &msgid); });
    if (sent != LDAP_SUCCESS)
        return report_session_error(ld, "ldap_start_tls", DLDAP_ERR_STARTTLS,
                                    compp);

    LDAPMessage *res = nullptr;
    const int type = with_alarm_clock_halted(
        [&] { return api.ldap_result(ld, msgid, LDAP_MSG_ONE, timeoutp, &res); });
    response.reset(res);
    switch (type) {
    case LDAP_RES_EXTENDED:
        GDD_LOG("LDAP_RESULT returned: LDAP_RES_EXTENDED\n");
        return CS_SUCCEED;
    case -1:
        return report_session_error(ld, "ldap_start_tls", DLDAP_ERR_RESULT,
                                    compp);
    case 0:
        GDD_LOG("LDAP_START_TLS timed out.\n");
        // The library's own time-out number, as the search reports it.
        return gdd__dldap_error(compp, DLDAP_ERR_TIMEOUT, LDAP_TIMEOUT);
    default:
        GDD_LOG("Unrecognized LDAP result code: (%i)\n", type);
        return gdd__dldap_error(compp, DLDAP_ERR_STARTTLS, type);
    }
}

// The server's verdict inside the extended response; the message is
// consumed whatever the outcome.
CS_RETCODE check_response(LDAP *ld, LdapMessage response, DCL_COMP *compp) {
    const LDAPAPI_PROVIDER &api = gdd__provider();
    berval *data = nullptr;
    const int parsed = api.ldap_parse_extended_result(ld, response.get(), nullptr, &data, 0);
    const ResponseValue value(data);
    if (parsed != LDAP_SUCCESS) {
        GDD_LOG("LDAP_PARSE_EXTENDED_RESULT returned error: %i\n", parsed);
        return gdd__dldap_error(compp, DLDAP_ERR_PARSE, parsed);
    }
    int err = 0;
    const int result = api.ldap_parse_result(ld, response.release(), &err, nullptr, nullptr,
                                             nullptr, nullptr, 1);
    if (result != LDAP_SUCCESS) return gdd__dldap_error(compp, DLDAP_ERR_PARSE, result);
    if (err != LDAP_SUCCESS) {
        GDD_LOG("LDAP_PARSE_RESULT returned errorcode: %i\n", err);
        return gdd__dldap_error(compp, DLDAP_ERR_PARSE, err);
    }
    return CS_SUCCEED;
}

}  // namespace

CS_RETCODE gdd__start_tls(DLDAP_HANDLE *ldaphan, struct timeval *timeoutp, int version,
                          DCL_COMP *compp) {
    GDD_REQUIRE(version == LDAP_VERSION3);
    const LDAPAPI_PROVIDER &api = gdd__provider();
    LDAP *ld = ldaphan->ld;
    if (api.ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_SUCCESS)
        return report_session_error(ld, "ldap call", DLDAP_ERR_OPTION, compp);

    LdapMessage response;
    if (request_start_tls(ld, timeoutp, response, compp) != CS_SUCCEED) return CS_FAIL;
    if (check_response(ld, std::move(response), compp) != CS_SUCCEED) return CS_FAIL;

    // The handshake runs with the host's clock untouched: it is not one of
    // the bracketed waits.
    const int handshake = api.ldap_install_tls(ld);
    if (handshake != LDAP_SUCCESS) return gdd__dldap_error(compp, DLDAP_ERR_STARTTLS, handshake);
    return CS_SUCCEED;
}
