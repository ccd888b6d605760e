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

// The same entry points from the driver's objects linked into the test
// executable, for tests that steer its internals (the allocation counter).
inline const veldldap::DriverLibrary &driver_internals() {
    static const veldldap::DriverLibrary library{"", &gdd_open, &gdd_close, &gdd_bind, &gdd_unbind, &gdd_read,
                                                 &gdd_search, &gdd_add_entry, &gdd_modify_entry, &gdd_delete_entry,
                                                 &gdd_props};
    return library;
}

// A fresh session-properties record: no time limit, no CA file.
DCL_SESS_PROPS session_properties(int timelimit = 0, const std::string &ca_file = "");

// A completion record the driver has not touched yet (recognisable values).
DCL_COMP untouched_comp();

#endif
