/*
 * The functions veldir offers the driver by name, as every host does:
 * com_path_anyfile (where the installation's lib3p64 libraries are),
 * the two alarm-clock hooks, and dcl_result_drop (the complete release of a
 * DCL_RESULT).  They alone are exported from the executable (the dynamic
 * list host_functions.list), so the driver finds them with dlsym on the
 * process's own handle.
 */
#ifndef VELDIR_HOST_FUNCTIONS_H
#define VELDIR_HOST_FUNCTIONS_H

#include <string>

#include "veldldap/dspublic.h"

// The directory com_path_anyfile builds paths in: that of the loaded driver.
void set_driver_directory(const std::string &directory);

extern "C" {
CS_RETCODE com_path_anyfile(CS_CHAR *fullpath, CS_INT buflen, CS_CHAR *dirname, CS_CHAR *filename,
                            CS_BOOL flag);
void velmor_internal_halt_alarm_clock(void);
void velmor_internal_restart_alarm_clock(void);
CS_RETCODE dcl_result_drop(CS_VOID *context, DCL_RESULT *result, DCL_COMP *compp);
}

#endif
