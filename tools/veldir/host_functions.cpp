#include "host_functions.h"

#include <cstdio>
#include <cstdlib>

#include "alarm_clock.h"

namespace {

std::string g_driver_directory;

void release_value(CS_INT syntax, DCL_ATTRVALUE &value) {
    if (syntax == DCL_SYNTAX_STRING || syntax == DCL_SYNTAX_OID) std::free(value.dcl_string.dcl_stringp);
}

void release_attribute(DCL_ATTRIBUTE &attribute) {
    // Only the first dcl_numvalues slots hold values; the others are zero.
    for (CS_INT v = 0; attribute.dcl_attrvalues != nullptr && v < attribute.dcl_numvalues; ++v)
        release_value(attribute.dcl_attrsyntax, attribute.dcl_attrvalues[v]);
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

void set_driver_directory(const std::string &directory) { g_driver_directory = directory; }

extern "C" {

CS_RETCODE com_path_anyfile(CS_CHAR *fullpath, CS_INT buflen, CS_CHAR *dirname, CS_CHAR *filename, CS_BOOL) {
    if (fullpath == nullptr || dirname == nullptr || filename == nullptr || buflen <= 0) return CS_FAIL;
    const int written = std::snprintf(fullpath, static_cast<std::size_t>(buflen), "%s/%s/%s",
                                      g_driver_directory.c_str(), dirname, filename);
    return written > 0 && written < buflen ? CS_SUCCEED : CS_FAIL;
}

void velmor_internal_halt_alarm_clock(void) { alarm_clock::halt(); }

void velmor_internal_restart_alarm_clock(void) { alarm_clock::restart(); }

CS_RETCODE dcl_result_drop(CS_VOID *, DCL_RESULT *result, DCL_COMP *) {
    if (result == nullptr) return CS_SUCCEED;
    // Objects past a decoding failure are still null or zero-filled.
    for (CS_INT i = 0; result->dcl_objlist != nullptr && i < result->dcl_numentries; ++i)
        release_object(result->dcl_objlist[i]);
    std::free(result->dcl_objlist);
    // dcl_name points into the session handle: not ours to free.
    std::free(result);
    return CS_SUCCEED;
}

}
