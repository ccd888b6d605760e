/*
 * The part of the LDAP client API the driver relies on: opaque handles, the
 * URL description, modification records and the constants it passes.  The
 * driver never includes the client library's own header, because it never
 * links the library: it loads it at run time.  Layouts and numbers are those
 * of the OpenLDAP client library.
 */
#ifndef VELDLDAP_LDAPPORT_H
#define VELDLDAP_LDAPPORT_H

#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ldap LDAP;
typedef struct ldapmsg LDAPMessage;
typedef struct berelement BerElement;
typedef struct ldapcontrol LDAPControl;

typedef unsigned long ber_len_t;
struct berval {
    ber_len_t bv_len;
    char *bv_val;
};

typedef struct ldap_url_desc {
    struct ldap_url_desc *lud_next;
    char *lud_scheme;
    char *lud_host;
    int lud_port;
    char *lud_dn;
    char **lud_attrs;
    int lud_scope;
    char *lud_filter;
    char **lud_exts;
    int lud_crit_exts;
} LDAPURLDesc;

typedef struct ldapmod {
    int mod_op;
    char *mod_type;
    union {
        char **modv_strvals;
        struct berval **modv_bvals;
    } mod_vals;
} LDAPMod;
#define mod_values mod_vals.modv_strvals

#define LDAP_VERSION2 2
#define LDAP_VERSION3 3

#define LDAP_OPT_PROTOCOL_VERSION 0x0011
#define LDAP_OPT_RESULT_CODE 0x0031
#define LDAP_OPT_X_TLS_CACERTFILE 0x6002
#define LDAP_OPT_X_TLS_REQUIRE_CERT 0x6006
#define LDAP_OPT_X_TLS_NEWCTX 0x600f

#define LDAP_OPT_X_TLS_DEMAND 2

#define LDAP_SUCCESS 0x00
#define LDAP_PROTOCOL_ERROR 0x02
#define LDAP_TIMELIMIT_EXCEEDED 0x03
#define LDAP_SIZELIMIT_EXCEEDED 0x04
#define LDAP_NO_SUCH_OBJECT 0x20
#define LDAP_INVALID_CREDENTIALS 0x31
#define LDAP_INSUFFICIENT_ACCESS 0x32
#define LDAP_ALREADY_EXISTS 0x44
#define LDAP_TIMEOUT (-5)

#define LDAP_RES_BIND 0x61
#define LDAP_RES_SEARCH_ENTRY 0x64
#define LDAP_RES_EXTENDED 0x78

#define LDAP_MSG_ONE 0x00

#define LDAP_SCOPE_BASE 0x0000
#define LDAP_SCOPE_ONELEVEL 0x0001
#define LDAP_SCOPE_SUBTREE 0x0002

#define LDAP_MOD_ADD 0x0000
#define LDAP_MOD_DELETE 0x0001
#define LDAP_MOD_REPLACE 0x0002

#ifdef __cplusplus
}
#endif

#endif
