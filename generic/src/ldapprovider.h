/*
 * The provider table: every LDAP client-library entry point the driver calls,
 * resolved by name from a library loaded at run time.  One table per process,
 * published through `lpp` only once it is complete, never freed.  Slots keep
 * the historical order; each is typed with the real prototype so that calls
 * through it are checked by the compiler.
 */
#ifndef VELDLDAP_LDAPPROVIDER_H
#define VELDLDAP_LDAPPROVIDER_H

#include <atomic>

#include "veldldap/cstypes.h"
#include "veldldap/dspublic.h"
#include "ldapport.h"

extern "C" {
/* Slots returning int. */
typedef int (*ldapfn_initialize)(LDAP **ldp, const char *url);
typedef int (*ldapfn_simple_bind_s)(LDAP *ld, const char *who, const char *passwd);
typedef int (*ldapfn_simple_bind)(LDAP *ld, const char *who, const char *passwd);
typedef int (*ldapfn_unbind_s)(LDAP *ld);
typedef int (*ldapfn_result)(LDAP *ld, int msgid, int all, struct timeval *timeout,
                             LDAPMessage **result);
typedef int (*ldapfn_parse_result)(LDAP *ld, LDAPMessage *res, int *errcodep, char **matcheddnp,
                                   char **errmsgp, char ***referralsp,
                                   LDAPControl ***serverctrls, int freeit);
typedef int (*ldapfn_parse_extended_result)(LDAP *ld, LDAPMessage *res, char **retoidp,
                                            struct berval **retdatap, int freeit);
typedef int (*ldapfn_set_option)(LDAP *ld, int option, const void *invalue);
typedef int (*ldapfn_get_option)(LDAP *ld, int option, void *outvalue);
typedef int (*ldapfn_is_url)(const char *url);
typedef int (*ldapfn_start_tls_s)(LDAP *ld, LDAPControl **serverctrls, LDAPControl **clientctrls);
typedef int (*ldapfn_start_tls)(LDAP *ld, LDAPControl **serverctrls, LDAPControl **clientctrls,
                                int *msgidp);
typedef int (*ldapfn_install_tls)(LDAP *ld);
typedef int (*ldapfn_search_st)(LDAP *ld, const char *base, int scope, const char *filter,
                                char **attrs, int attrsonly, struct timeval *timeout,
                                LDAPMessage **res);
typedef int (*ldapfn_count_entries)(LDAP *ld, LDAPMessage *chain);
typedef int (*ldapfn_count_values)(char **vals);
typedef int (*ldapfn_modify)(LDAP *ld, const char *dn, LDAPMod **mods);
typedef int (*ldapfn_delete_s)(LDAP *ld, const char *dn);
typedef int (*ldapfn_get_lderrno)(LDAP *ld, char **matched, char **msg);
typedef int (*ldapfn_url_parse)(const char *url, LDAPURLDesc **ludpp);
typedef int (*ldapfn_msgfree)(LDAPMessage *msg);
typedef int (*ldapfn_version)(void *info);
/* Slots returning nothing. */
typedef void (*ldapfn_memfree)(void *p);
typedef void (*ldapfn_ber_free)(BerElement *ber, int freebuf);
typedef void (*ldapfn_value_free)(char **vals);
typedef void (*ldapfn_free_urldesc)(LDAPURLDesc *ludp);
/* Slots returning char* / char** / LDAPMessage*. */
typedef char *(*ldapfn_get_dn)(LDAP *ld, LDAPMessage *entry);
typedef char *(*ldapfn_first_attribute)(LDAP *ld, LDAPMessage *entry, BerElement **berout);
typedef char *(*ldapfn_next_attribute)(LDAP *ld, LDAPMessage *entry, BerElement *ber);
typedef char *(*ldapfn_err2string)(int err);
typedef char **(*ldapfn_get_values)(LDAP *ld, LDAPMessage *entry, const char *attr);
typedef LDAPMessage *(*ldapfn_entry)(LDAP *ld, LDAPMessage *chain);
}

typedef struct _ldap_provider {
    CS_VOID *handle;
    ldapfn_initialize ldap_initialize;
    ldapfn_simple_bind_s ldap_simple_bind_s;
    ldapfn_simple_bind ldap_simple_bind;
    ldapfn_unbind_s ldap_unbind_s;
    ldapfn_result ldap_result;
    ldapfn_parse_result ldap_parse_result;
    ldapfn_parse_extended_result ldap_parse_extended_result;
    ldapfn_set_option ldap_set_option;
    ldapfn_get_option ldap_get_option;
    ldapfn_is_url ldap_is_ldap_url;
    ldapfn_is_url ldap_is_ldaps_url;
    ldapfn_start_tls_s ldap_start_tls_s;
    ldapfn_start_tls ldap_start_tls;
    ldapfn_install_tls ldap_install_tls;
    ldapfn_search_st ldap_search_st;
    ldapfn_count_entries ldap_count_entries;
    ldapfn_entry ldap_first_entry;
    ldapfn_entry ldap_next_entry;
    ldapfn_get_dn ldap_get_dn;
    ldapfn_memfree ldap_memfree;
    ldapfn_ber_free ldap_ber_free;
    ldapfn_memfree ber_memfree;
    ldapfn_first_attribute ldap_first_attribute;
    ldapfn_next_attribute ldap_next_attribute;
    ldapfn_count_values ldap_count_values;
    ldapfn_get_values ldap_get_values;
    ldapfn_value_free ldap_value_free;
    ldapfn_modify ldap_add_s;
    ldapfn_modify ldap_modify_s;
    ldapfn_delete_s ldap_delete_s;
    ldapfn_get_lderrno ldap_get_lderrno; /* never resolved, never called */
    ldapfn_err2string ldap_err2string;
    ldapfn_url_parse ldap_url_parse;
    ldapfn_free_urldesc ldap_free_urldesc;
    ldapfn_version ldap_version; /* never resolved, never called */
    /* Optional extra beyond the required entry points: may stay null. */
    ldapfn_msgfree ldap_msgfree;
} LDAPAPI_PROVIDER;

/* File names of the client library; the last one is the one resolved. */
extern const char *const LDAPAPI_LIBS[];

/* The process-wide table; null until a load has completed. */
extern std::atomic<const LDAPAPI_PROVIDER *> lpp;

/* Number of entry points a library must offer to be accepted. */
constexpr int LDAPAPI_REQUIRED_ENTRY_POINTS = 33;

CS_RETCODE gdd__load_ldap_provider(DCL_COMP *compp);

/* The loaded table.  Valid only after a successful gdd_open in the process. */
inline const LDAPAPI_PROVIDER &gdd__provider() {
    return *lpp.load(std::memory_order_acquire);
}

#endif
