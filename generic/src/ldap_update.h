/*
 * Entry update: the LDAP modification list built from a DCL object for add
 * and modify, and its release.
 */
#ifndef VELDLDAP_LDAP_UPDATE_H
#define VELDLDAP_LDAP_UPDATE_H

#include "ldap_drv.h"

CS_RETCODE gdd__set_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len, DCL_OBJECT *dcl_objp,
                          DCL_COMP *compp, int mod_op);
void gdd__free_list_of_mods(LDAPMod **attrs);

#endif
