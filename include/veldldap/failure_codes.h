/*
 * The driver's failure codes, written once.  A failed call fills DCL_COMP
 * with dcl_status 1, one of these codes in dcl_provstatus and an
 * accompanying number in dcl_oserr (errno, an LDAP result code or a URL
 * parser code, as the row says).  One other status exists:
 * DLDAP_STATUS_BAD_OPTION in dcl_status for an option of the
 * initialisation string the driver refuses.
 *
 * The lists are X-macros, so the driver's constants, a host's messages and
 * veldir's tables all expand the same rows.  Plain C: hosts may be C.
 */
#ifndef VELDLDAP_FAILURE_CODES_H
#define VELDLDAP_FAILURE_CODES_H

#include <stddef.h>

#include "cstypes.h"

/* What dcl_oserr holds next to a failure code. */
#define VELDLDAP_OSERR_NOTHING 0
#define VELDLDAP_OSERR_ERRNO 1
#define VELDLDAP_OSERR_LDAP 2
#define VELDLDAP_OSERR_URL_PARSER 3

/* X(code, symbol, what dcl_oserr holds, one-line meaning); code 3 is not used. */
#define VELDLDAP_FAILURE_CODES(X)                                                                  \
    X(1, DLDAP_ERR_NOMEM, VELDLDAP_OSERR_ERRNO, "the driver ran out of memory")                    \
    X(2, DLDAP_ERR_LOADLIB, VELDLDAP_OSERR_ERRNO,                                                  \
      "the LDAP client library could not be loaded, or lacks an entry point")                      \
    X(4, DLDAP_ERR_INITSTR, VELDLDAP_OSERR_URL_PARSER, "the initialisation string is unusable")    \
    X(5, DLDAP_ERR_EINTR, VELDLDAP_OSERR_ERRNO, "a bind or search was interrupted by a signal")    \
    X(6, DLDAP_ERR_INVALID, VELDLDAP_OSERR_LDAP,                                                   \
      "an invalid handle, or data the driver cannot handle")                                       \
    X(7, DLDAP_ERR_NOENTRY, VELDLDAP_OSERR_LDAP, "no entry was found")                             \
    X(8, DLDAP_ERR_PROPS, VELDLDAP_OSERR_NOTHING, "a session property could not be read or set")   \
    X(9, DLDAP_ERR_LDAPINIT, VELDLDAP_OSERR_LDAP, "the LDAP session could not be created")         \
    X(10, DLDAP_ERR_BIND, VELDLDAP_OSERR_LDAP, "the bind was refused, or could not be sent")       \
    X(11, DLDAP_ERR_UNBIND, VELDLDAP_OSERR_LDAP, "unbinding from the directory failed")            \
    X(12, DLDAP_ERR_SEARCH, VELDLDAP_OSERR_LDAP, "the search failed")                              \
    X(13, DLDAP_ERR_UPDATE, VELDLDAP_OSERR_LDAP, "the directory refused the add or modify")        \
    X(14, DLDAP_ERR_DELETE, VELDLDAP_OSERR_LDAP, "the directory refused the delete")               \
    X(15, DLDAP_ERR_ACCESS, VELDLDAP_OSERR_LDAP, "the directory refused access")                   \
    X(16, DLDAP_ERR_TIMEOUT, VELDLDAP_OSERR_LDAP, "the time limit passed while waiting for the server") \
    X(17, DLDAP_ERR_RESULT, VELDLDAP_OSERR_LDAP, "waiting for the server's answer failed")         \
    X(18, DLDAP_ERR_PARSE, VELDLDAP_OSERR_LDAP,                                                    \
      "the server's answer could not be read, or the server refused StartTLS")                     \
    X(19, DLDAP_ERR_STARTTLS, VELDLDAP_OSERR_LDAP, "StartTLS failed: request, response or TLS handshake") \
    X(20, DLDAP_ERR_OPTION, VELDLDAP_OSERR_LDAP,                                                   \
      "an LDAP option could not be set (CA certificate file or protocol version)")

#define VELDLDAP_FAILURE_CODE_CONSTANT(code, symbol, oserr, meaning) symbol = code,
enum { VELDLDAP_FAILURE_CODES(VELDLDAP_FAILURE_CODE_CONSTANT) };
#undef VELDLDAP_FAILURE_CODE_CONSTANT

/* dcl_status of every failure, and of a refused option. */
#define DLDAP_STATUS_FAILED 1
#define DLDAP_STATUS_BAD_OPTION 21
#define DLDAP_STATUS_BAD_OPTION_MEANING "the initialisation string has an option the driver refuses"

/* X(code, name in the driver's log, what the client library's URL parser
   means by it): the number next to DLDAP_ERR_INITSTR.  The log keeps the
   driver's historical names, which do not match the client library's
   numbering; the meaning is the client library's. */
#define VELDLDAP_URL_PARSER_CODES(X)                                                               \
    X(1, "LDAP_URL_ERR_NOTLDAP", "the URL parser ran out of memory")                               \
    X(2, "LDAP_URL_ERR_NODN", "no URL was given")                                                  \
    X(3, "LDAP_URL_ERR_BADSCOPE", "the text does not begin with ldap://, ldaps:// or ldapi://")    \
    X(4, "LDAP_URL_ERR_MEM", "the URL lacks its closing \">\"")                                    \
    X(5, "LDAP_URL_ERR_BADURL", "the URL is malformed")                                            \
    X(6, "", "the host or port of the URL is malformed")                                           \
    X(7, "", "the attribute field of the URL is malformed")                                        \
    X(8, "", "the scope field of the URL is not base, one or sub")                                 \
    X(9, "", "the filter field of the URL is malformed")                                           \
    X(10, "", "the extension field of the URL is malformed")

typedef struct veldldap_failure_code_row {
    CS_INT code;
    const char *symbol;  /* "DLDAP_ERR_BIND" */
    CS_INT oserr_kind;   /* VELDLDAP_OSERR_* */
    const char *meaning; /* one line, no final full stop */
} VELDLDAP_FAILURE_CODE;

typedef struct veldldap_url_parser_code_row {
    CS_INT code;
    const char *logged_name; /* "" where the driver logs "unrecognized LDAP error" */
    const char *meaning;
} VELDLDAP_URL_PARSER_CODE;

/* The row of a failure code, or NULL for a number that is not one. */
static inline const VELDLDAP_FAILURE_CODE *veldldap_failure_code(CS_INT code) {
#define VELDLDAP_FAILURE_CODE_ROW(c, symbol, oserr, meaning) {c, #symbol, oserr, meaning},
    static const VELDLDAP_FAILURE_CODE rows[] = {VELDLDAP_FAILURE_CODES(VELDLDAP_FAILURE_CODE_ROW)};
#undef VELDLDAP_FAILURE_CODE_ROW
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        if (rows[i].code == code) return &rows[i];
    return NULL;
}

/* The row of a URL parser code, or NULL. */
static inline const VELDLDAP_URL_PARSER_CODE *veldldap_url_parser_code(CS_INT code) {
#define VELDLDAP_URL_PARSER_CODE_ROW(c, logged_name, meaning) {c, logged_name, meaning},
    static const VELDLDAP_URL_PARSER_CODE rows[] = {VELDLDAP_URL_PARSER_CODES(VELDLDAP_URL_PARSER_CODE_ROW)};
#undef VELDLDAP_URL_PARSER_CODE_ROW
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        if (rows[i].code == code) return &rows[i];
    return NULL;
}

#endif
