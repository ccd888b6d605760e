/*
 * Control interface of the scripted stand-in LDAP client library.  The
 * stand-in offers the client API under the provider's file name; each test
 * scripts what the next calls of a function return, which errno they leave,
 * and what they hand out, for the failures a real server cannot produce on
 * demand.  Unscripted calls behave like a healthy server.
 */
#ifndef VELDLDAP_STANDIN_CONTROL_H
#define VELDLDAP_STANDIN_CONTROL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets every script, entry and count. */
void standin_reset(void);

/* Queues the outcome of the next call of `function` that has no earlier
   queued outcome: its return value (for functions returning a pointer, 0
   means null and anything else means the normal result), the errno it
   leaves, and a function-specific value: the result code for
   ldap_parse_result and for ldap_get_option(LDAP_OPT_RESULT_CODE), the
   message id for ldap_simple_bind and ldap_start_tls, the count for
   ldap_count_entries. */
void standin_script(const char *function, long result, int error_number, int value);

/* Entries that searches answer with, as LDIF-like text: "dn: ..." starts an
   entry, "attr: value" lines follow, a blank line ends it. */
void standin_set_entries(const char *entries);

/* How often `function` was called since the last reset. */
int standin_calls(const char *function);

/* The DN and the modifications of the last add, modify or delete, as text:
   "dn\nop type=value|value\n...". */
const char *standin_last_update(void);

/* The arguments of the last search, as text:
   "base=...|scope=N|filter=...|timeout=S or none|attrs=A,B,...". */
const char *standin_last_search(void);

/* Releases every message still handed out: the caller's part for a
   library variant that offers no ldap_msgfree. */
void standin_release_messages(void);

/* Outstanding allocations of the stand-in (messages, value arrays, names):
   zero when the driver released everything it was handed. */
long standin_live_allocations(void);

#ifdef __cplusplus
}
#endif

#endif
