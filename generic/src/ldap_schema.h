/*
 * The server-entry vocabulary: the object class, the OID map of the sixteen
 * attributes with their syntaxes, the attribute list every search requests,
 * and the conversions of single values between LDAP text and DCL values
 * (transport addresses included).  Constant tables; no state.
 */
#ifndef VELDLDAP_LDAP_SCHEMA_H
#define VELDLDAP_LDAP_SCHEMA_H

#include <array>

#include "ldap_drv.h"

#include "veldldap/vocabulary.h"

constexpr char kServerClassOid[] = VELDLDAP_SERVER_CLASS_OID;
constexpr char kServerClassName[] = VELDLDAP_SERVER_CLASS_NAME;
constexpr char kServernameOid[] = VELDLDAP_NAMING_ATTRIBUTE_OID;

// The sixteen attribute OIDs in map order and a null end: every search asks
// for exactly these.
extern const std::array<char *, 17> velmor_attributes;

void gdd__map_dcl_attributename(DCL_OID *oid, const char *attributename);
CS_INT gdd__get_dcl_syntax(const char *ldapAttributep);

CS_RETCODE gdd__get_dcl_value(DCL_ATTRVALUE *attrvalue, char *valuep, CS_INT attrsyntax,
                              DCL_COMP *compp);
CS_RETCODE gdd__get_dcl_tranaddr(DCL_TRANADDR *tranaddr, char *addressAttribute);
CS_RETCODE gdd__get_ldap_value_string(char *thisLdapValuep, CS_INT bufsize,
                                      const DCL_ATTRVALUE *this_dcl_valuep, CS_INT dcl_attrsyntax);
// Writes at most bufsize - 1 characters: a longer text is cut, with the
// warning of the bounded copy.
CS_RETCODE gdd__get_ldap_tranaddr_string(char *addressAttribute, CS_INT bufsize,
                                         const DCL_TRANADDR *tranaddr);

#endif
