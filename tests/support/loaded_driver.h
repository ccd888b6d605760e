/*
 * The built driver as a host meets it: the shared library loaded with dlopen
 * and its ten entry points resolved under their symbol version.  Tests of
 * exported behaviour go through this, not through the internal routines.
 */
#ifndef VELDLDAP_LOADED_DRIVER_H
#define VELDLDAP_LOADED_DRIVER_H

#include <string>

#include "driver_library.h"

// Loads the driver once per process; the test fails at once if it cannot.
// An entry point the driver lacks stays null: the test using it crashes.
const veldldap::DriverLibrary &driver();

// A fresh session-properties record: no time limit, no CA file.
DCL_SESS_PROPS session_properties(int timelimit = 0, const std::string &ca_file = "");

// A completion record the driver has not touched yet (recognisable values).
DCL_COMP untouched_comp();

#endif
