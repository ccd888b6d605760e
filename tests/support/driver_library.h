/*
 * The built driver as a host meets it: the shared library loaded with dlopen
 * and its ten entry points resolved under their symbol version.  Tests of
 * exported behaviour go through this, not through the internal routines.
 */
#ifndef VELDLDAP_DRIVER_LIBRARY_H
#define VELDLDAP_DRIVER_LIBRARY_H

#include <string>

#include "veldldap/dspublic.h"

struct DriverLibrary {
    decltype(&gdd_open) open;
    decltype(&gdd_close) close;
    decltype(&gdd_bind) bind;
    decltype(&gdd_unbind) unbind;
    decltype(&gdd_read) read;
    decltype(&gdd_search) search;
    decltype(&gdd_add_entry) add_entry;
    decltype(&gdd_modify_entry) modify_entry;
    decltype(&gdd_delete_entry) delete_entry;
    decltype(&gdd_props) props;
};

// Loads the driver once per process; the test fails at once if it cannot.
const DriverLibrary &driver();

// A fresh session-properties record: no time limit, no CA file.
DCL_SESS_PROPS session_properties(int timelimit = 0, const std::string &ca_file = "");

// A completion record the driver has not touched yet (recognisable values).
DCL_COMP untouched_comp();

#endif
