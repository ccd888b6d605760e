// The bind and the unbind: creating the LDAP session for the session's URL,
// the process-wide TLS options, StartTLS when asked for, and the
// asynchronous simple bind with its time limit and retries.  The LDAP
// session stays in `ld` from ldap_initialize until it is released here or by
// gdd_unbind; `cur.retrycount` is the session's retry budget and only falls.
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>

#include "ldap_alarm.h"
#include "ldap_conn.h"

int gdd__session_error(LDAP *ld) {
    int code = 0;
    gdd__provider().ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
    return code;
}

namespace {

// The wait limit of every answer of one bind, StartTLS included; null waits
// without limit.
class AnswerTimeLimit {
public:
    explicit AnswerTimeLimit(CS_INT seconds) : limit_{seconds, 0} {
        if (seconds == 0 || seconds == -1) {
            GDD_LOG("Timeout set to infinite\n");
        } else {
            GDD_LOG("Timeout set to %d seconds\n", seconds);
            pointer_ = &limit_;
        }
    }
    AnswerTimeLimit(const AnswerTimeLimit &) = delete;
    AnswerTimeLimit &operator=(const AnswerTimeLimit &) = delete;
    timeval *get() { return pointer_; }

private:
    timeval limit_;
    timeval *pointer_ = nullptr;
};

// Gives the LDAP session back and forgets it.
int release_session(DLDAP_HANDLE *ldaphan) {
    LDAP *ld = ldaphan->ld;
    ldaphan->ld = nullptr;
    return with_alarm_clock_halted([&] { return gdd__provider().ldap_unbind_s(ld); });
}

// The client library sets up its process-wide defaults lazily, in the first
// call that needs them, and that setup is not safe against concurrent first
// use: a session created at the same moment can lock a mutex of those
// defaults while another thread is still initialising it.  So the first
// session of the process is created alone; every later one goes straight
// through.
int initialize_session(LDAP **ld, const char *url) {
    static std::once_flag library_ready;
    std::optional<int> first;
    std::call_once(library_ready, [&] { first = gdd__provider().ldap_initialize(ld, url); });
    return first ? *first : gdd__provider().ldap_initialize(ld, url);
}

CS_RETCODE create_session(DLDAP_HANDLE *ldaphan, DCL_COMP *compp) {
    const DLDAP_PROPS &cur = ldaphan->cur;
    // Room for every part, then cut to the driver's 512 characters without a
    // word: the library refuses what is left or connects to it.
    char url[3 * GDD_TEXT_SIZE + 16];
    std::snprintf(url, sizeof url, "%s://%s:%i", cur.ldapscheme, cur.ldapserver,
                  cur.ldapportnumber);
    url[GDD_TEXT_SIZE - 1] = '\0';
    const int code = initialize_session(&ldaphan->ld, url);
    if (ldaphan->ld == nullptr) {
        GDD_LOG("ldap_init failed: \"%s\"(%i)\n", gdd__error_text(code), code);
        return gdd__dldap_error(compp, DLDAP_ERR_LDAPINIT, code);
    }
    GDD_LOG("LDAP_INITIALIZE succeeded\n");
    return CS_SUCCEED;
}

// Options on the null handle hold for every session of the process.
CS_RETCODE set_process_option(DLDAP_HANDLE *ldaphan, int option, const void *value,
                              DCL_COMP *compp) {
    if (gdd__provider().ldap_set_option(nullptr, option, value) == LDAP_SUCCESS) return CS_SUCCEED;
    const int e = gdd__session_error(ldaphan->ld);
    GDD_LOG("ldap call failed: \"%s\"(%i)\n", gdd__error_text(e), e);
    return gdd__dldap_error(compp, DLDAP_ERR_OPTION, e);
}

// The CA file is an option of the whole process.  The library builds its
// TLS context once, at the first TLS connection, and would keep using the
// CA file of that moment; a fresh context makes the file set here the one
// that counts.  A context that cannot be built (an unreadable file, say) is
// left to the TLS handshake to refuse, so that the failure keeps its code.
// The server certificate must verify whatever the library read from the
// user's ldaprc files or LDAPTLS_REQCERT: those defaults come in before any
// option is set, and the new context takes the demand with it.
CS_RETCODE set_tls_options(DLDAP_HANDLE *ldaphan, DCL_COMP *compp) {
    const char *ca_file = ldaphan->dclsess_props->dsp_tls_ca;
    GDD_LOG("Setting CA Certificate to %s\n", ca_file);
    const int demand = LDAP_OPT_X_TLS_DEMAND;
    if (set_process_option(ldaphan, LDAP_OPT_X_TLS_CACERTFILE, ca_file, compp) != CS_SUCCEED ||
        set_process_option(ldaphan, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand, compp) != CS_SUCCEED)
        return CS_FAIL;
    const int client_context = 0;
    const int renewed =
        gdd__provider().ldap_set_option(nullptr, LDAP_OPT_X_TLS_NEWCTX, &client_context);
    if (renewed != LDAP_SUCCESS)
        GDD_LOG("No TLS context for CA Certificate %s (%i): a TLS handshake will fail\n", ca_file,
                renewed);
    return CS_SUCCEED;
}

// What one attempt came to.
struct Attempt {
    enum Kind {
        Bound,         // the server accepted the bind
        Refused,       // final: reported as is, no retry whatever the budget
        Failed,        // goes through the retry accounting
        Unparsable,    // like Failed, but the LDAP session is gone
        SwitchedToV3,  // protocolError under version 2: again at once, free of charge
    } kind;
    CS_INT provstatus = 0;
    CS_INT oserr = 0;
};

// Releases the library's texts of a parsed bind answer.
struct AnswerTexts {
    char *matched = nullptr;
    char *error_msg = nullptr;
    ~AnswerTexts() {
        if (matched != nullptr) gdd__provider().ldap_memfree(matched);
        if (error_msg != nullptr) gdd__provider().ldap_memfree(error_msg);
    }
};

// The server's answer to the bind request, already received.
Attempt judge_answer(DLDAP_HANDLE *ldaphan, LDAPMessage *res, int &version) {
    const LDAPAPI_PROVIDER &api = gdd__provider();
    int ldapret = 0;
    AnswerTexts texts;
    // Referrals and server controls are not asked for: nothing reads them
    // and the provider table offers no release for them.
    const int parse_ret = api.ldap_parse_result(ldaphan->ld, res, &ldapret, &texts.matched,
                                                &texts.error_msg, nullptr, nullptr, 1);
    // Taken before anything is logged, so the log cannot disturb it.
    const int error_number = errno;
    if (parse_ret != LDAP_SUCCESS) {
        GDD_LOG("ldap_parse_result failed: \"%s\"(%i)\n", gdd__error_text(parse_ret), parse_ret);
        release_session(ldaphan);
        return {Attempt::Unparsable, DLDAP_ERR_PARSE, parse_ret};
    }
    if (ldapret == LDAP_SUCCESS) return {Attempt::Bound};

    GDD_LOG("ldap_simple_bind failed: \"%s\"(%i)\n", gdd__error_text(ldapret), ldapret);
    if (ldapret == LDAP_PROTOCOL_ERROR && version != LDAP_VERSION3) {
        GDD_LOG("Setting LDAP_OPT_PROTOCOL_VERSION to LDAP_VERSION3\n");
        version = LDAP_VERSION3;
        // Not tested: the next bind answer tells whether it took.
        api.ldap_set_option(ldaphan->ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        return {Attempt::SwitchedToV3};
    }
    if (texts.error_msg != nullptr && texts.error_msg[0] != '\0')
        GDD_LOG("additional error info: \"%s\"\n", texts.error_msg);
    GDD_LOG("Errno = %i\n", error_number);
    if (error_number == EINTR) {
        GDD_LOG("(EINTR)... THIS SHOULD NOT HAPPEN \n");
        return {Attempt::Failed, DLDAP_ERR_EINTR, error_number};
    }
    release_session(ldaphan);
    return {Attempt::Refused, DLDAP_ERR_BIND, ldapret};
}

Attempt attempt_bind(DLDAP_HANDLE *ldaphan, timeval *timeoutp, int &version) {
    const LDAPAPI_PROVIDER &api = gdd__provider();
    LDAP *ld = ldaphan->ld;
    GDD_LOG("Calling LDAP_SIMPLE_BIND\n");
    const int msgid = with_alarm_clock_halted([&] {
        return api.ldap_simple_bind(ld, ldaphan->cur.username, ldaphan->cur.password);
    });
    if (msgid < 0) {
        const int e = gdd__session_error(ld);
        GDD_LOG("ldap_simple_bind failed: \"%s\"(%i)\n", gdd__error_text(e), e);
        return {Attempt::Failed, DLDAP_ERR_BIND, e};
    }
    LDAPMessage *res = nullptr;
    const int type = with_alarm_clock_halted(
        [&] { return api.ldap_result(ld, msgid, LDAP_MSG_ONE, timeoutp, &res); });
    if (type == -1) {
        const LdapMessage stray(res);
        const int e = gdd__session_error(ld);
        GDD_LOG("ldap_simple_bind failed: \"%s\"(%i)\n", gdd__error_text(e), e);
        return {Attempt::Failed, DLDAP_ERR_RESULT, e};
    }
    if (type == 0) {
        const LdapMessage stray(res);
        // The pending request is not abandoned: the next attempt sends a new
        // one on the same session.
        GDD_LOG("LDAP_SIMPLE_BIND timed out.\n");
        return {Attempt::Failed, DLDAP_ERR_TIMEOUT, LDAP_TIMEOUT};
    }
    return judge_answer(ldaphan, res, version);
}

// The attempts, each retry after the delay, while the budget lasts.
CS_RETCODE bind_with_retries(DLDAP_HANDLE *ldaphan, timeval *timeoutp, int version,
                             DCL_COMP *compp) {
    CS_INT &retrycount = ldaphan->cur.retrycount;
    if (retrycount < 0) {
        // Used up by an earlier bind of this session: no bind is sent, and no
        // half-made session stays behind to look bound.
        GDD_LOG("No retries left (%d): no bind attempted\n", retrycount);
        release_session(ldaphan);
        return gdd__dldap_error(compp, DLDAP_ERR_BIND, 0);
    }
    bool firsttime = true;
    for (;;) {
        if (!firsttime) {
            GDD_LOG("Sleeping for %d seconds.\n", ldaphan->cur.delay);
            gdd__retry_sleep(ldaphan->cur.delay);
            GDD_LOG("Retrying...(retries left: %d)\n", retrycount);
        }
        firsttime = false;
        const Attempt attempt = attempt_bind(ldaphan, timeoutp, version);
        switch (attempt.kind) {
        case Attempt::Bound:
            GDD_LOG("LDAP_SIMPLE_BIND succeeded\n");
            return CS_SUCCEED;
        case Attempt::SwitchedToV3:
            firsttime = true;
            continue;
        case Attempt::Refused:
            return gdd__dldap_error(compp, attempt.provstatus, attempt.oserr);
        case Attempt::Failed:
        case Attempt::Unparsable:
            break;
        }
        const CS_INT budget = retrycount--;
        // After an unparsable answer the session is gone; a fresh one would
        // skip StartTLS and could send the password unprotected, so the
        // bind ends here whatever the budget.
        if (budget > 0 && attempt.kind == Attempt::Failed) continue;
        return gdd__dldap_error(compp, attempt.provstatus, attempt.oserr);
    }
}

}  // namespace

CS_RETCODE gdd_bind(CS_VOID *gddp, DCL_COMP *compp) noexcept {
    GDD_LOG("!gdd_bind!\n");
    DLDAP_HANDLE *ldaphan = GDD_ENTRY_HANDLE(gddp, compp);
    if (ldaphan == nullptr) return CS_FAIL;
    if (ldaphan->ld != nullptr) {
        GDD_LOG("ALREADY BOUND!\n");
        return CS_SUCCEED;
    }
    GDD_LOG("Not yet bound. (Good)\n");
    GDD_LOG("Getting a ldap session handle:\"%s:%i\"\n", ldaphan->cur.ldapserver,
            ldaphan->cur.ldapportnumber);
    if (create_session(ldaphan, compp) != CS_SUCCEED) return CS_FAIL;
    AnswerTimeLimit limit(ldaphan->dclsess_props->dsp_timelimit);
    if (set_tls_options(ldaphan, compp) != CS_SUCCEED) return CS_FAIL;

    int version = LDAP_VERSION2;
    if (ldaphan->cur.starttls == 1) {
        GDD_LOG("Setting LDAP_OPT_PROTOCOL_VERSION to LDAP_VERSION3\n");
        version = LDAP_VERSION3;
        if (gdd__start_tls(ldaphan, limit.get(), version, compp) != CS_SUCCEED) return CS_FAIL;
    }
    return bind_with_retries(ldaphan, limit.get(), version, compp);
}

CS_RETCODE gdd_unbind(CS_VOID *gddp, DCL_COMP *compp) noexcept {
    GDD_LOG("!gdd_unbind!\n");
    DLDAP_HANDLE *ldaphan = GDD_ENTRY_HANDLE(gddp, compp);
    if (ldaphan == nullptr) return CS_FAIL;
    if (ldaphan->ld == nullptr) return CS_SUCCEED;
    const int unbound = release_session(ldaphan);
    if (unbound != LDAP_SUCCESS) {
        GDD_LOG("ldap_unbind_s failed: \"%s\"(%i)\n", gdd__error_text(unbound), unbound);
        return gdd__dldap_error(compp, DLDAP_ERR_UNBIND, unbound);
    }
    return CS_SUCCEED;
}
