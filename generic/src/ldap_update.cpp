// Add, modify and delete.  Add and modify turn the host's object into one
// LDAP modification list (object class first, then one element per
// attribute, all values as text) and send it synchronously; delete sends
// one synchronous delete.  The list belongs to the call and is released on
// every path.
#include "ldap_update.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ldap_schema.h"
#include "ldap_search.h"
#include "ldapprovider.h"

namespace {

constexpr char kObjectClassType[] = "ObjectClass";

// The session has no LDAP connection: the operation is refused before
// anything is sent, with the library's own "server down" number.
constexpr CS_INT kNoConnection = -1;

struct ModsRelease {
    void operator()(LDAPMod **attrs) const { gdd__free_list_of_mods(attrs); }
};
using ModList = std::unique_ptr<LDAPMod *[], ModsRelease>;

char *allocate_text(std::size_t size) { return static_cast<char *>(gdd__calloc(size, 1)); }

CS_RETCODE out_of_memory(DCL_COMP *compp) {
    const int saved_errno = errno;
    GDD_LOG("*** Memory allocation failed! ***\n");
    return gdd__dldap_error(compp, DLDAP_ERR_NOMEM, saved_errno);
}

CS_RETCODE add_object_class_element(LDAPMod **attrs, int mod_op, DCL_COMP *compp) {
    auto *element = static_cast<LDAPMod *>(gdd__calloc(1, sizeof(LDAPMod)));
    if (element == nullptr) return out_of_memory(compp);
    attrs[0] = element;
    element->mod_op = mod_op;
    element->mod_type = allocate_text(sizeof kObjectClassType);
    if (element->mod_type == nullptr) return out_of_memory(compp);
    std::memcpy(element->mod_type, kObjectClassType, sizeof kObjectClassType);
    element->mod_values = static_cast<char **>(gdd__calloc(2, sizeof(char *)));
    if (element->mod_values == nullptr) return out_of_memory(compp);
    element->mod_values[0] = allocate_text(sizeof kServerClassName);
    if (element->mod_values[0] == nullptr) return out_of_memory(compp);
    std::memcpy(element->mod_values[0], kServerClassName, sizeof kServerClassName);
    return CS_SUCCEED;
}

// A string or OID attribute without any value record has no text to send;
// sending one the host did not write would change its data.
bool has_value_to_send(const DCL_ATTRIBUTE &attribute) {
    if (attribute.dcl_attrvalues != nullptr) return true;
    return attribute.dcl_attrsyntax == DCL_SYNTAX_INTEGER ||
           attribute.dcl_attrsyntax == DCL_SYNTAX_TRANADDR;
}

CS_RETCODE add_values(LDAPMod *element, const DCL_ATTRIBUTE &attribute, DCL_COMP *compp) {
    const int count = attribute.dcl_numvalues > 0 ? attribute.dcl_numvalues : 1;
    element->mod_values = static_cast<char **>(gdd__calloc(static_cast<std::size_t>(count) + 1,
                                                           sizeof(char *)));
    if (element->mod_values == nullptr) return out_of_memory(compp);
    for (int v = 0; v < count; ++v) {
        char *text = allocate_text(GDD_TEXT_SIZE);
        if (text == nullptr) return gdd__dldap_error(compp, DLDAP_ERR_NOMEM, errno);
        element->mod_values[v] = text;
        const DCL_ATTRVALUE *value =
            attribute.dcl_attrvalues != nullptr ? &attribute.dcl_attrvalues[v] : nullptr;
        if (!has_value_to_send(attribute) ||
            gdd__get_ldap_value_string(text, GDD_TEXT_SIZE, value, attribute.dcl_attrsyntax) !=
                CS_SUCCEED) {
            GDD_LOG("gdd__get_ldap_value_string failed.\n");
            return gdd__dldap_error(compp, DLDAP_ERR_INVALID, 0);
        }
        GDD_LOG("  value = \"%s\"\n", text);
    }
    return CS_SUCCEED;
}

CS_RETCODE add_attribute_element(LDAPMod **slot, int n, const DCL_ATTRIBUTE &attribute, int mod_op,
                                 DCL_COMP *compp) {
    auto *element = static_cast<LDAPMod *>(gdd__calloc(1, sizeof(LDAPMod)));
    if (element == nullptr) return out_of_memory(compp);
    *slot = element;
    element->mod_op = mod_op;
    const std::size_t type_length =
        attribute.dcl_attrtype.dcl_oidlen > 0 ? static_cast<std::size_t>(attribute.dcl_attrtype.dcl_oidlen) : 0;
    element->mod_type = allocate_text(type_length + 1);
    if (element->mod_type == nullptr) return out_of_memory(compp);
    std::memcpy(element->mod_type, attribute.dcl_attrtype.dcl_oidp, type_length);
    GDD_LOG("gdd__set_entry: Attribute %i: \"%s\" with %i values\n", n, element->mod_type,
            attribute.dcl_numvalues);
    return add_values(element, attribute, compp);
}

// Builds the whole list into `attrs` (numberOfAttributes + 1 slots).  An
// attribute without an OID text ends the list: it and the ones after it are
// not sent.
CS_RETCODE build_mods(LDAPMod **attrs, int numberOfAttributes, const DCL_ATTRLIST &list, int mod_op,
                      DCL_COMP *compp) {
    if (add_object_class_element(attrs, mod_op, compp) != CS_SUCCEED) return CS_FAIL;
    for (int n = 1; n < numberOfAttributes; ++n) {
        const DCL_ATTRIBUTE &attribute = list.dcl_attribute[n - 1];
        if (attribute.dcl_attrtype.dcl_oidp == nullptr) break;
        if (add_attribute_element(&attrs[n], n, attribute, mod_op, compp) != CS_SUCCEED)
            return CS_FAIL;
    }
    return CS_SUCCEED;
}

bool is_access_refusal(int code) {
    return code == LDAP_INSUFFICIENT_ACCESS || code == LDAP_INVALID_CREDENTIALS;
}

// The distinguished name of the entry; a name that does not fit leaves no
// name to send, and the operation is refused as data that cannot be handled.
bool entry_dn(CS_CHAR (&dn)[GDD_TEXT_SIZE], const CS_CHAR *name, CS_INT len,
              const DLDAP_HANDLE *handle) {
    if (gdd__get_dn(dn, GDD_TEXT_SIZE, name, len, handle) == CS_SUCCEED) return true;
    GDD_LOG("No distinguished name for this entry: nothing is sent.\n");
    return false;
}

bool has_connection(const DLDAP_HANDLE *handle) {
    if (handle->ld != nullptr) return true;
    GDD_LOG("No LDAP session: the session is not bound.\n");
    return false;
}

CS_RETCODE send_mods(DLDAP_HANDLE *handle, const char *dn, LDAPMod **attrs, int mod_op,
                     DCL_COMP *compp) {
    const LDAPAPI_PROVIDER &provider = gdd__provider();
    const int code = mod_op == LDAP_MOD_ADD ? provider.ldap_add_s(handle->ld, dn, attrs)
                                            : provider.ldap_modify_s(handle->ld, dn, attrs + 1);
    if (code == LDAP_SUCCESS) return CS_SUCCEED;
    GDD_LOG("LDAP_ADD_S/LDAP_MODIFY_S failed: \"%s\"(%i)\n", provider.ldap_err2string(code), code);
    if (is_access_refusal(code)) {
        GDD_LOG("Insufficient access to perform the operation!!\n");
        return gdd__dldap_error(compp, DLDAP_ERR_ACCESS, code);
    }
    return gdd__dldap_error(compp, DLDAP_ERR_UPDATE, code);
}

}  // namespace

void gdd__free_list_of_mods(LDAPMod **attrs) {
    if (attrs == nullptr) return;
    for (int i = 0; attrs[i] != nullptr; ++i) {
        LDAPMod *element = attrs[i];
        if (element->mod_values != nullptr) {
            for (int v = 0; element->mod_values[v] != nullptr; ++v) {
                std::free(element->mod_values[v]);
                element->mod_values[v] = nullptr;
            }
            std::free(element->mod_values);
            element->mod_values = nullptr;
        }
        std::free(element->mod_type);
        element->mod_type = nullptr;
        std::free(element);
        attrs[i] = nullptr;
    }
    std::free(attrs);
}

CS_RETCODE gdd__set_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len, DCL_OBJECT *dcl_objp,
                          DCL_COMP *compp, int mod_op) {
    GDD_REQUIRE(name != nullptr);
    GDD_REQUIRE(dcl_objp != nullptr);
    DLDAP_HANDLE *handle = GDD_ENTRY_HANDLE(gddp, compp);
    if (handle == nullptr) return CS_FAIL;
    GDD_LOG("!gdd__set_entry!\n");
    GDD_LOG("Setting entry %s\n", name);

    CS_CHAR dn[GDD_TEXT_SIZE];
    if (!entry_dn(dn, name, len, handle)) return gdd__dldap_error(compp, DLDAP_ERR_INVALID, 0);
    if (!has_connection(handle)) return gdd__dldap_error(compp, DLDAP_ERR_UPDATE, kNoConnection);

    const DCL_ATTRLIST &list = dcl_objp->dcl_attrlist;
    int numberOfAttributes = list.dcl_numattr > 0 ? list.dcl_numattr : 0;
    GDD_LOG("gdd__set_entry: Found %i attributes in the DCL_OBJECT\n", numberOfAttributes);
    ++numberOfAttributes;
    GDD_LOG("gdd__set_entry: Storing %i attributes (One extra for ObjectClass)\n", numberOfAttributes);

    ModList attrs(static_cast<LDAPMod **>(
        gdd__calloc(static_cast<std::size_t>(numberOfAttributes) + 1, sizeof(LDAPMod *))));
    if (!attrs) return out_of_memory(compp);
    if (build_mods(attrs.get(), numberOfAttributes, list, mod_op, compp) != CS_SUCCEED)
        return CS_FAIL;
    return send_mods(handle, dn, attrs.get(), mod_op, compp);
}

CS_RETCODE gdd_add_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len, DCL_OBJECT *dcl_objp,
                         DCL_COMP *compp) noexcept {
    GDD_LOG("!gdd_add_entry!\n");
    return gdd__set_entry(gddp, name, len, dcl_objp, compp, LDAP_MOD_ADD);
}

CS_RETCODE gdd_modify_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len, DCL_OBJECT *dcl_objp,
                            DCL_COMP *compp) noexcept {
    GDD_LOG("!gdd_modify_entry!\n");
    return gdd__set_entry(gddp, name, len, dcl_objp, compp, LDAP_MOD_REPLACE);
}

CS_RETCODE gdd_delete_entry(CS_VOID *gddp, CS_CHAR *name, CS_INT len, DCL_COMP *compp) noexcept {
    GDD_REQUIRE(name != nullptr);
    DLDAP_HANDLE *handle = GDD_ENTRY_HANDLE(gddp, compp);
    if (handle == nullptr) return CS_FAIL;
    GDD_LOG("!gdd_delete_entry!\n");

    CS_CHAR dn[GDD_TEXT_SIZE];
    if (!entry_dn(dn, name, len, handle)) return gdd__dldap_error(compp, DLDAP_ERR_INVALID, 0);
    GDD_LOG("DELETING dn=\"%s\"\n", dn);
    if (!has_connection(handle)) return gdd__dldap_error(compp, DLDAP_ERR_DELETE, kNoConnection);

    const LDAPAPI_PROVIDER &provider = gdd__provider();
    const int code = provider.ldap_delete_s(handle->ld, dn);
    if (code == LDAP_SUCCESS) return CS_SUCCEED;
    GDD_LOG("ldap_delete_s call failed: \"%s\"(%i)\n", provider.ldap_err2string(code), code);
    if (is_access_refusal(code)) {
        GDD_LOG("Insufficient access to perform the operation!!\n");
        return gdd__dldap_error(compp, DLDAP_ERR_ACCESS, code);
    }
    return gdd__dldap_error(compp, DLDAP_ERR_DELETE, code);
}
