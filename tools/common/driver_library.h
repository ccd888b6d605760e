/*
 * Loading the driver as a host does: dlopen of the shared library and its
 * ten gdd_* entry points resolved under their symbol version FLSSL_1.  An
 * entry point the library lacks stays null, so a partial driver still
 * serves the others.  veldir, the tests and the benchmarks load it this way.
 */
#ifndef VELDLDAP_DRIVER_LIBRARY_H
#define VELDLDAP_DRIVER_LIBRARY_H

#include <string>

#include "veldldap/dspublic.h"

namespace veldldap {

inline constexpr const char *kDriverSymbolVersion = "FLSSL_1";

struct DriverLibrary {
    std::string path;  // the file as it was loaded
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

// Loads the library at `path` (never unloaded) and resolves the entry
// points; false with the loader's message in `error` when it cannot be loaded.
bool load_driver_library(const std::string &path, DriverLibrary &driver, std::string &error);

}  // namespace veldldap

#endif
