/*
 * Loading the driver as a host does: dlopen of the shared library and its
 * ten gdd_* entry points resolved under their symbol version FLSSL_1.  An
 * entry point the library lacks stays null; the session refuses the one
 * operation that needs it, so a partial driver still serves the others.
 */
#ifndef VELDIR_DRIVER_LOADER_H
#define VELDIR_DRIVER_LOADER_H

#include <optional>
#include <string>

#include "veldldap/dspublic.h"
#include "failure.h"

struct DriverLibrary {
    std::string path;  // absolute path of the loaded file
    decltype(&gdd_open) open = nullptr;
    decltype(&gdd_close) close = nullptr;
    decltype(&gdd_bind) bind = nullptr;
    decltype(&gdd_unbind) unbind = nullptr;
    decltype(&gdd_read) read = nullptr;
    decltype(&gdd_search) search = nullptr;
    decltype(&gdd_add_entry) add_entry = nullptr;
    decltype(&gdd_modify_entry) modify_entry = nullptr;
    decltype(&gdd_delete_entry) delete_entry = nullptr;
    decltype(&gdd_props) props = nullptr;
};

// The driver beside veldir's own installation: <prefix>/bin/../lib/libveldldap64.so.15.5.0.
std::string default_driver_path();

// Loads the driver (never unloaded) and points com_path_anyfile at its directory.
std::optional<Failure> load_driver(const std::string &path, DriverLibrary &driver);

// The failure for an entry point the loaded driver does not offer.
Failure missing_entry_point(const DriverLibrary &driver, const char *name);

#endif
