/*
 * Entry retrieval: decoding LDAP entries into DCL objects, running a search
 * with its time limit and retries into a DCL_RESULT, and the names of server
 * entries (recognising and building distinguished names).
 */
#ifndef VELDLDAP_LDAP_SEARCH_H
#define VELDLDAP_LDAP_SEARCH_H

#include "ldap_drv.h"

CS_RETCODE gdd__get_dcl_entry(DCL_OBJECT *dclobj, LDAP *ld, LDAPMessage *entry, DCL_COMP *compp);
CS_RETCODE gdd__get_dcl_attribute(DCL_ATTRIBUTE *this_dcl_attributep, char *ldapAttributep,
                                  LDAP *ld, DCL_COMP *compp, LDAPMessage *entry);
CS_RETCODE gdd__read_entries(DLDAP_HANDLE *ldaphan, const char *searchbase, const char *filter,
                             int scope, DCL_RESULT **resultpp, DCL_COMP *compp);

CS_BOOL gdd__check_dn(const CS_CHAR *name, CS_INT namelen, const DLDAP_HANDLE *ldaphan);
CS_RETCODE gdd__get_dn(CS_CHAR *dn, CS_INT dnbuflen, const CS_CHAR *name, CS_INT namelen,
                       const DLDAP_HANDLE *ldaphan);

#endif
