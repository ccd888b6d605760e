/*
 * The driver's own records and contracts: failure codes, the session handle
 * and its connection properties, and the internal routines every subsystem
 * shares (status report, bounded copy, allocation, the handle check).
 * Included by every driver source; never seen by the host.
 */
#ifndef VELDLDAP_LDAP_DRV_H
#define VELDLDAP_LDAP_DRV_H

#include <cstddef>

#include "comnblib.h"
#include "veldldap/dspublic.h"
#include "veldldap/failure_codes.h"
#include "ldapport.h"

/* Every text of the driver lives in a buffer of this size (512 + NUL). */
constexpr CS_INT GDD_TEXT_SIZE = 513;

/* The handle mark: 'ldap' as a multi-character constant, 'l' in the high byte. */
constexpr CS_INT DLDAP_MAGIC = 0x6C646170;

typedef struct _ldap_prop {
    CS_CHAR ldapserver[GDD_TEXT_SIZE];
    CS_INT ldapportnumber;
    CS_CHAR ldapscheme[GDD_TEXT_SIZE];
    CS_CHAR ditbase[GDD_TEXT_SIZE];
    CS_CHAR username[GDD_TEXT_SIZE];
    CS_CHAR password[GDD_TEXT_SIZE];
    CS_INT retrycount;
    CS_INT delay;
    CS_BOOL starttls;
} DLDAP_PROPS;

typedef struct _ldap_han {
    CS_INT magic;
    LDAP *ld;
    DCL_SESS_PROPS *dclsess_props;
    CS_CHAR RDNAttribName[GDD_TEXT_SIZE];
    DLDAP_PROPS def;
    DLDAP_PROPS cur;
} DLDAP_HANDLE;

/* Status report: fills all three fields and returns CS_FAIL. */
CS_RETCODE gdd__dldap_error(DCL_COMP *compp, CS_INT provstatus, CS_INT oserr);

/* Bounded copy; inlen CS_NULLTERM measures `in`. Cuts and warns when too long. */
void gdd__copy_string(CS_CHAR *out, CS_INT outbuflen, const CS_CHAR *in, CS_INT inlen);

/* Zero-filled allocation from the process heap: everything handed to the host
   comes from here, so that tests can make the n-th allocation fail. */
void *gdd__calloc(std::size_t count, std::size_t size);

/* The shared start of every entry point but gdd_open, after its null checks:
   the handle, or null after logging and reporting DLDAP_ERR_INVALID. */
DLDAP_HANDLE *gdd__checked_handle(CS_VOID *gddp, DCL_COMP *compp);

/* The same after the null checks every entry point makes; a fatal stop names
   the entry point's own source position. */
DLDAP_HANDLE *gdd__entry_handle(CS_VOID *gddp, DCL_COMP *compp, const char *file, int line);
#define GDD_ENTRY_HANDLE(gddp, compp) gdd__entry_handle((gddp), (compp), __FILE__, __LINE__)

/* Initialisation string (ldap_initstr.cpp). */
CS_RETCODE gdd__parse_init_str(const CS_CHAR *initstring, CS_INT len, DLDAP_HANDLE *ldaphan,
                               DCL_COMP *compp);

/* Properties (ldap_driv.cpp). */
CS_RETCODE gdd__prop_string(CS_INT action, CS_CHAR *curstring, const CS_CHAR *defstring,
                            CS_VOID *bp, CS_INT buflen, CS_INT *outlenp);
CS_RETCODE gdd__prop_string_ro(CS_INT action, const CS_CHAR *rostring, CS_VOID *bp,
                               CS_INT buflen, CS_INT *outlenp);

#endif
