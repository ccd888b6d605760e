/*
 * The host's directory-layer records (DCL) exchanged with the driver, the
 * syntax, property and action codes, and the prototypes of the ten exported
 * entry points.  Field order, widths and signedness are part of the binary
 * interface: change nothing here without changing every host.
 */
#ifndef VELDLDAP_DSPUBLIC_H
#define VELDLDAP_DSPUBLIC_H

#include "csconfig.h"

/* Value syntax codes: select the member of DCL_ATTRVALUE that holds a value. */
#define DCL_SYNTAX_STRING 1
#define DCL_SYNTAX_INTEGER 2
#define DCL_SYNTAX_TRANADDR 5
#define DCL_SYNTAX_OID 6

/* Actions and properties understood by gdd_props. */
#define DCL_ACTION_GET 33
#define DCL_ACTION_SET 34
#define DCL_ACTION_CLEAR 35
#define DCL_ACTION_SUPPORTED 40

#define DCL_PROP_BINDDN 10
#define DCL_PROP_PASSWORD 11
#define DCL_PROP_DITBASE 13
#define DCL_PROP_LOCATION_FILE 21
#define DCL_PROP_DRIVER_NAME 22

/* The interface version gdd_open returns. */
#define DCL_DRIVER_VERSION 15501

typedef struct _dcl_oid {
    CS_INT dcl_oidlen;
    CS_CHAR *dcl_oidp;
} DCL_OID;

typedef struct _dcl_string {
    CS_INT dcl_length;
    CS_CHAR *dcl_stringp;
} DCL_STRING;

typedef struct _dcl_tranaddr {
    CS_CHAR dcl_trantype[64];
    CS_INT dcl_accesstype;
    CS_CHAR dcl_tranaddress[512];
} DCL_TRANADDR;

typedef union _dcl_attrvalue {
    DCL_TRANADDR dcl_tranaddr;
    DCL_STRING dcl_string;
    CS_BOOL dcl_boolean;
    CS_INT dcl_enumeration;
    CS_INT dcl_integer;
} DCL_ATTRVALUE;

typedef struct _dcl_attribute {
    DCL_OID dcl_attrtype;
    CS_INT dcl_attrmod;
    CS_INT dcl_attrsyntax;
    CS_INT dcl_numvalues;
    DCL_ATTRVALUE *dcl_attrvalues;
} DCL_ATTRIBUTE;

typedef struct _dcl_attrlist {
    CS_INT dcl_numattr;
    DCL_ATTRIBUTE *dcl_attribute;
} DCL_ATTRLIST;

typedef struct _dcl_object {
    DCL_OID dcl_class;
    DCL_STRING dcl_dist_name;
    DCL_ATTRLIST dcl_attrlist;
} DCL_OBJECT;

typedef struct _dcl_result {
    DCL_STRING dcl_name;
    CS_INT dcl_limit;
    CS_INT dcl_numentries;
    DCL_OBJECT **dcl_objlist;
} DCL_RESULT;

typedef struct _dcl_comp {
    CS_INT dcl_status;
    CS_INT dcl_provstatus;
    CS_INT dcl_oserr;
} DCL_COMP;

typedef struct _dcl_sess_props {
    CS_BOOL dsp_sync;
    CS_BOOL dsp_failover;
    CS_CHAR dsp_ifile[255];
    CS_CHAR dsp_dsname[255];
    CS_CHAR dsp_activeds[255];
    CS_CHAR dsp_tls_ca[255];
    CS_INT dsp_timelimit;
    CS_VOID *dsp_ifile_list;
} DCL_SESS_PROPS;

/* The exported entry points (symbol version FLSSL_1). */
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_open(CS_CHAR *init_str, CS_INT len, CS_INT *version,
                                          CS_VOID **gddpp, DCL_COMP *compp,
                                          DCL_SESS_PROPS *dsprops) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_close(CS_VOID *gddp, DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_bind(CS_VOID *gddp, DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_unbind(CS_VOID *gddp, DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_read(CS_VOID *gddp, CS_CHAR *name, CS_INT namelen,
                                          DCL_RESULT **resultpp, DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_search(CS_VOID *gddp, DCL_OID *classp,
                                            DCL_RESULT **resultpp, DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_add_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len,
                                               DCL_OBJECT *dcl_objp, DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_modify_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len,
                                                  DCL_OBJECT *dcl_objp, DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_delete_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len,
                                                  DCL_COMP *compp) CS_NOEXCEPT;
CS_EXTERN_C CS_PUBLIC CS_RETCODE gdd_props(CS_VOID *gddp, CS_INT action, CS_INT property,
                                           CS_VOID *bp, CS_INT buflen, CS_INT *outlenp,
                                           DCL_COMP *compp) CS_NOEXCEPT;

/* Host functions the driver finds by name in the host process. */
typedef CS_RETCODE (*anyfile_t)(CS_CHAR *fullpath, CS_INT buflen, CS_CHAR *dirname,
                                CS_CHAR *filename, CS_BOOL flag);
typedef CS_RETCODE (*dcl_result_drop_t)(CS_VOID *context, DCL_RESULT *result, DCL_COMP *compp);
typedef void (*_clkfunc)(void);

#endif
