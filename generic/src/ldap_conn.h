/*
 * Directory connection: creating the LDAP session, StartTLS, the simple bind
 * with its time limit and retries, and unbinding.  The bind's state lives in
 * the session handle (`ld`, `cur.retrycount`).
 */
#ifndef VELDLDAP_LDAP_CONN_H
#define VELDLDAP_LDAP_CONN_H

#include <sys/time.h>

#include "ldap_drv.h"

CS_RETCODE gdd__start_tls(DLDAP_HANDLE *ldaphan, struct timeval *timeoutp, int version,
                          DCL_COMP *compp);

// The LDAP session's last result code (LDAP_OPT_RESULT_CODE).
int gdd__session_error(LDAP *ld);

#endif
