/*
 * The work behind the functions a host offers the driver by name, done the
 * same way by every host here (veldir, the test host, the fuzzers): the path
 * of a file in the installation (com_path_anyfile) and the complete release
 * of a result the driver handed over (dcl_result_drop).  The hosts keep the
 * exported functions themselves, with whatever they add around this.
 */
#ifndef VELDLDAP_HOST_CALLBACKS_H
#define VELDLDAP_HOST_CALLBACKS_H

#include <string>

#include "veldldap/dspublic.h"

namespace veldldap {

// "<installation>/<dirname>/<filename>" into `fullpath`; CS_FAIL when an
// argument is missing or the path does not fit in `buflen` bytes.
CS_RETCODE installation_path(const std::string &installation, CS_CHAR *fullpath, CS_INT buflen,
                             const CS_CHAR *dirname, const CS_CHAR *filename);

// Frees the result, its objects, their attributes and values; null is fine.
void release_result(DCL_RESULT *result);

}  // namespace veldldap

#endif
