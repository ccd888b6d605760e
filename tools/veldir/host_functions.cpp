#include "host_functions.h"

#include "alarm_clock.h"
#include "host_callbacks.h"

namespace {

std::string g_driver_directory;

}  // namespace

void set_driver_directory(const std::string &directory) { g_driver_directory = directory; }

extern "C" {

CS_RETCODE com_path_anyfile(CS_CHAR *fullpath, CS_INT buflen, CS_CHAR *dirname, CS_CHAR *filename, CS_BOOL) {
    return veldldap::installation_path(g_driver_directory, fullpath, buflen, dirname, filename);
}

void velmor_internal_halt_alarm_clock(void) { alarm_clock::halt(); }

void velmor_internal_restart_alarm_clock(void) { alarm_clock::restart(); }

CS_RETCODE dcl_result_drop(CS_VOID *, DCL_RESULT *result, DCL_COMP *) {
    veldldap::release_result(result);
    return CS_SUCCEED;
}

}
