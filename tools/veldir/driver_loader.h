/*
 * Finding and loading the driver for veldir, with failures in veldir's
 * words.  An entry point the library lacks stays null; the session refuses
 * the one operation that needs it, so a partial driver still serves the others.
 */
#ifndef VELDIR_DRIVER_LOADER_H
#define VELDIR_DRIVER_LOADER_H

#include <optional>
#include <string>

#include "driver_library.h"
#include "failure.h"

using veldldap::DriverLibrary;

// The driver beside veldir's own installation: <prefix>/bin/../lib/libveldldap64.so.15.5.0.
std::string default_driver_path();

// Moves into the log directory, loads the driver (never unloaded) and points
// com_path_anyfile at its directory.
std::optional<Failure> load_driver(const std::string &path, DriverLibrary &driver);

// The failure for an entry point the loaded driver does not offer.
Failure missing_entry_point(const DriverLibrary &driver, const char *name);

#endif
