/*
 * A minimal host of the veldldap driver: loads the driver with dlopen, opens a
 * session, binds, reads one server entry, prints it, and unbinds and closes.
 *
 *   VELDLDAP_INIT='ldap://dirhost:389/ou=servers,o=acme????bindname=cn=app,o=acme?0x01...' \
 *       ./minimal_host srv1
 *
 * The initialisation string comes from the environment, which keeps its password off the command
 * line (prefer an enciphered one: velenc).  VELDLDAP_DRIVER overrides the driver path built in.
 */
#define _GNU_SOURCE /* dlvsym */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <veldldap/dspublic.h>
#include <veldldap/failure_codes.h>
#include <veldldap/vocabulary.h>

#ifndef VELDLDAP_DRIVER /* pkg-config --variable=driver veldldap */
#define VELDLDAP_DRIVER "libveldldap64.so.15.5.0"
#endif
typedef CS_RETCODE (*open_fn)(CS_CHAR *, CS_INT, CS_INT *, CS_VOID **, DCL_COMP *, DCL_SESS_PROPS *);
typedef CS_RETCODE (*session_fn)(CS_VOID *, DCL_COMP *); /* gdd_bind, gdd_unbind, gdd_close */
typedef CS_RETCODE (*read_fn)(CS_VOID *, CS_CHAR *, CS_INT, DCL_RESULT **, DCL_COMP *);

static char driver_directory[512] = ".";

/* Host functions, found by the driver by name (the program is linked with -rdynamic); the optional
   alarm-clock hooks velmor_internal_{halt,restart}_alarm_clock are left out.  First: where the
   installation's extra libraries are, lib3p64 beside the driver. */
CS_RETCODE com_path_anyfile(CS_CHAR *fullpath, CS_INT buflen, CS_CHAR *dirname, CS_CHAR *filename,
                            CS_BOOL flag) {
    (void)flag;
    int written = snprintf(fullpath, (size_t)buflen, "%s/%s/%s", driver_directory, dirname, filename);
    return written > 0 && written < buflen ? CS_SUCCEED : CS_FAIL;
}

static void release_object(DCL_OBJECT *object) {
    if (object == NULL) return;
    DCL_ATTRLIST *list = &object->dcl_attrlist;
    for (CS_INT a = 0; list->dcl_attribute != NULL && a < list->dcl_numattr; ++a) {
        DCL_ATTRIBUTE *attribute = &list->dcl_attribute[a];
        CS_BOOL texts = attribute->dcl_attrsyntax == DCL_SYNTAX_STRING || attribute->dcl_attrsyntax == DCL_SYNTAX_OID;
        for (CS_INT v = 0; texts && attribute->dcl_attrvalues != NULL && v < attribute->dcl_numvalues; ++v)
            free(attribute->dcl_attrvalues[v].dcl_string.dcl_stringp);
        free(attribute->dcl_attrvalues);
        free(attribute->dcl_attrtype.dcl_oidp);
    }
    free(list->dcl_attribute);
    free(object->dcl_class.dcl_oidp);
    free(object->dcl_dist_name.dcl_stringp);
    free(object);
}

/* The complete release of a result; the driver calls it too. */
CS_RETCODE dcl_result_drop(CS_VOID *context, DCL_RESULT *result, DCL_COMP *compp) {
    (void)context;
    (void)compp;
    if (result == NULL) return CS_SUCCEED;
    for (CS_INT i = 0; result->dcl_objlist != NULL && i < result->dcl_numentries; ++i)
        release_object(result->dcl_objlist[i]);
    free(result->dcl_objlist);
    free(result); /* dcl_name points into the session: not the host's */
    return CS_SUCCEED;
}

static int report(const char *step, const DCL_COMP *comp) {
    static const char *const oserr_kinds[] = {"", "errno", "LDAP result code", "URL parser code"};
    const VELDLDAP_FAILURE_CODE *row = veldldap_failure_code(comp->dcl_provstatus);
    if (comp->dcl_status == DLDAP_STATUS_BAD_OPTION)
        fprintf(stderr, "%s failed: %s\n", step, DLDAP_STATUS_BAD_OPTION_MEANING);
    else if (row == NULL)
        fprintf(stderr, "%s failed: unknown failure code %d\n", step, (int)comp->dcl_provstatus);
    else
        fprintf(stderr, "%s failed: %s (%d) - %s; %s %d\n", step, row->symbol, (int)row->code, row->meaning,
                oserr_kinds[row->oserr_kind], (int)comp->dcl_oserr);
    return 1;
}

static const char *attribute_name(const DCL_OID *type) {
#define NAME_ROW(name, arc, syntax) {#name, VELDLDAP_ATTRIBUTE_OID(arc)},
    static const struct { const char *name, *oid; } rows[] = {VELDLDAP_ATTRIBUTES(NAME_ROW)};
#undef NAME_ROW
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        if ((size_t)type->dcl_oidlen == strlen(rows[i].oid) &&
            memcmp(rows[i].oid, type->dcl_oidp, strlen(rows[i].oid)) == 0)
            return rows[i].name;
    return "?";
}

static void print_entry(const DCL_OBJECT *object) {
    printf("dn: %.*s\n", (int)object->dcl_dist_name.dcl_length, object->dcl_dist_name.dcl_stringp);
    for (CS_INT a = 0; a < object->dcl_attrlist.dcl_numattr; ++a) {
        const DCL_ATTRIBUTE *attribute = &object->dcl_attrlist.dcl_attribute[a];
        for (CS_INT v = 0; v < attribute->dcl_numvalues; ++v) {
            const DCL_ATTRVALUE *value = &attribute->dcl_attrvalues[v];
            printf("%s: ", attribute_name(&attribute->dcl_attrtype));
            if (attribute->dcl_attrsyntax == DCL_SYNTAX_INTEGER)
                printf("%d\n", (int)value->dcl_integer);
            else if (attribute->dcl_attrsyntax == DCL_SYNTAX_TRANADDR)
                printf("%s#%d#%s\n", value->dcl_tranaddr.dcl_trantype, (int)value->dcl_tranaddr.dcl_accesstype,
                       value->dcl_tranaddr.dcl_tranaddress);
            else
                printf("%.*s\n", (int)value->dcl_string.dcl_length, value->dcl_string.dcl_stringp);
        }
    }
}

int main(int argc, char **argv) {
    char *init = getenv("VELDLDAP_INIT");
    const char *driver_path = getenv("VELDLDAP_DRIVER") ? getenv("VELDLDAP_DRIVER") : VELDLDAP_DRIVER;
    if (argc != 2 || init == NULL) {
        fprintf(stderr, "usage: VELDLDAP_INIT=STRING %s SERVER-NAME\n", argv[0]);
        return 2;
    }
    /* Never closed: the driver keeps the client library it loaded. */
    void *driver = dlopen(driver_path, RTLD_NOW | RTLD_LOCAL);
    if (driver == NULL) {
        fprintf(stderr, "cannot load the driver: %s\n", dlerror());
        return 1;
    }
    if (strrchr(driver_path, '/') != NULL)
        snprintf(driver_directory, sizeof driver_directory, "%.*s", (int)(strrchr(driver_path, '/') - driver_path),
                 driver_path);
    open_fn gdd_open_ = (open_fn)dlvsym(driver, "gdd_open", "FLSSL_1");
    session_fn gdd_bind_ = (session_fn)dlvsym(driver, "gdd_bind", "FLSSL_1");
    session_fn gdd_unbind_ = (session_fn)dlvsym(driver, "gdd_unbind", "FLSSL_1");
    session_fn gdd_close_ = (session_fn)dlvsym(driver, "gdd_close", "FLSSL_1");
    read_fn gdd_read_ = (read_fn)dlvsym(driver, "gdd_read", "FLSSL_1");
    if (!gdd_open_ || !gdd_bind_ || !gdd_unbind_ || !gdd_close_ || !gdd_read_) {
        fprintf(stderr, "%s is not the driver: an entry point is missing\n", driver_path);
        return 1;
    }

    static DCL_SESS_PROPS properties = {.dsp_timelimit = 30}; /* kept by the session; seconds per answer */
    CS_INT version = 0;
    CS_VOID *session = NULL;
    DCL_COMP comp = {0};
    if (gdd_open_(init, CS_NULLTERM, &version, &session, &comp, &properties) != CS_SUCCEED)
        return report("open", &comp);

    int status = 0;
    if (gdd_bind_(session, &comp) != CS_SUCCEED) {
        /* A failed bind may leave its LDAP session in the handle, and a second gdd_bind would then answer
           CS_SUCCEED ("ALREADY BOUND!" in the log) without binding.  Always gdd_unbind before binding
           again, and never take "ALREADY BOUND" for a successful bind. */
        status = report("bind", &comp);
    } else {
        DCL_RESULT *result = NULL;
        if (gdd_read_(session, argv[1], CS_NULLTERM, &result, &comp) != CS_SUCCEED) status = report("read", &comp);
        for (CS_INT i = 0; status == 0 && result != NULL && i < result->dcl_numentries; ++i)
            print_entry(result->dcl_objlist[i]);
        dcl_result_drop(NULL, result, &comp); /* a failed read may leave a result too */
    }
    if (gdd_unbind_(session, &comp) != CS_SUCCEED && status == 0) status = report("unbind", &comp);
    if (gdd_close_(session, &comp) != CS_SUCCEED && status == 0) status = report("close", &comp);
    return status;
}
