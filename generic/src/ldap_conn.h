/*
 * Directory connection: creating the LDAP session, StartTLS, the simple bind
 * with its time limit and retries, and unbinding.  The bind's state lives in
 * the session handle (`ld`, `cur.retrycount`).  gdd_bind and gdd_unbind
 * (ldap_conn.cpp) are the exported entry points; StartTLS
 * (ldap_starttls.cpp) is a step of the bind only.
 */
#ifndef VELDLDAP_LDAP_CONN_H
#define VELDLDAP_LDAP_CONN_H

#include <sys/time.h>

#include <memory>

#include "ldap_drv.h"
#include "ldapprovider.h"

CS_RETCODE gdd__start_tls(DLDAP_HANDLE *ldaphan, struct timeval *timeoutp, int version,
                          DCL_COMP *compp);

// The LDAP session's last result code (LDAP_OPT_RESULT_CODE).
int gdd__session_error(LDAP *ld);

// The library's text for an LDAP result code, for the log.
inline const char *gdd__error_text(int code) {
    const char *text = gdd__provider().ldap_err2string(code);
    return text != nullptr ? text : "";
}

// A message the library handed out and nobody has parsed with "free it".
// A library without a message release is accepted; its messages stay with it.
struct LdapMessageRelease {
    void operator()(LDAPMessage *message) const {
        if (ldapfn_msgfree release = gdd__provider().ldap_msgfree) release(message);
    }
};
using LdapMessage = std::unique_ptr<LDAPMessage, LdapMessageRelease>;

#endif
