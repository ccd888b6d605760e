#include "host_callbacks.h"

#include <cstdio>
#include <cstdlib>

namespace veldldap {
namespace {

void release_attribute(DCL_ATTRIBUTE &attribute) {
    const bool text = attribute.dcl_attrsyntax == DCL_SYNTAX_STRING || attribute.dcl_attrsyntax == DCL_SYNTAX_OID;
    // Only the first dcl_numvalues slots hold values; the others are zero.
    for (CS_INT v = 0; text && attribute.dcl_attrvalues != nullptr && v < attribute.dcl_numvalues; ++v)
        std::free(attribute.dcl_attrvalues[v].dcl_string.dcl_stringp);
    std::free(attribute.dcl_attrvalues);
    std::free(attribute.dcl_attrtype.dcl_oidp);
}

void release_object(DCL_OBJECT *object) {
    if (object == nullptr) return;
    std::free(object->dcl_class.dcl_oidp);
    std::free(object->dcl_dist_name.dcl_stringp);
    DCL_ATTRLIST &list = object->dcl_attrlist;
    for (CS_INT a = 0; list.dcl_attribute != nullptr && a < list.dcl_numattr; ++a)
        release_attribute(list.dcl_attribute[a]);
    std::free(list.dcl_attribute);
    std::free(object);
}

}  // namespace

CS_RETCODE installation_path(const std::string &installation, CS_CHAR *fullpath, CS_INT buflen,
                             const CS_CHAR *dirname, const CS_CHAR *filename) {
    if (fullpath == nullptr || dirname == nullptr || filename == nullptr || buflen <= 0) return CS_FAIL;
    const int written = std::snprintf(fullpath, static_cast<std::size_t>(buflen), "%s/%s/%s",
                                      installation.c_str(), dirname, filename);
    return written > 0 && written < buflen ? CS_SUCCEED : CS_FAIL;
}

void release_result(DCL_RESULT *result) {
    if (result == nullptr) return;
    // Objects past a decoding failure are still null or zero-filled.
    for (CS_INT i = 0; result->dcl_objlist != nullptr && i < result->dcl_numentries; ++i)
        release_object(result->dcl_objlist[i]);
    std::free(result->dcl_objlist);
    // dcl_name points into the session handle: not ours to free.
    std::free(result);
}

}  // namespace veldldap
