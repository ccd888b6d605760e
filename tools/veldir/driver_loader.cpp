#include "driver_loader.h"

#include <filesystem>
#include <system_error>

#include "exit_codes.h"
#include "host_functions.h"
#include "log_directory.h"

#ifndef VELDIR_LIBDIR_FROM_BINDIR
#define VELDIR_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace {

constexpr const char *kDriverFile = "libveldldap64.so.15.5.0";

}  // namespace

std::string default_driver_path() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path bindir = error ? std::filesystem::current_path() : executable.parent_path();
    // The installed layout first; the build tree always uses lib/.
    for (const char *libdir : {VELDIR_LIBDIR_FROM_BINDIR, "../lib"}) {
        const std::filesystem::path candidate = (bindir / libdir / kDriverFile).lexically_normal();
        if (std::filesystem::exists(candidate, error)) return candidate.string();
    }
    return (bindir / VELDIR_LIBDIR_FROM_BINDIR / kDriverFile).lexically_normal().string();
}

std::optional<Failure> load_driver(const std::string &path, DriverLibrary &driver) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    // The driver writes its log into the working directory from its first call on.
    if (std::optional<Failure> failure = log_directory::enter()) return failure;
    if (!std::filesystem::exists(absolute, error))
        return tool_failure("load driver", "the driver " + absolute.string() + " does not exist",
                            "name the driver with --driver PATH or driver = in libdsv.cfg", kExitConfiguration);
    std::string loader_error;
    if (!veldldap::load_driver_library(absolute.string(), driver, loader_error))
        return tool_failure("load driver", "the driver could not be loaded: " + loader_error,
                            "check that the file is the driver library built for this system", kExitConfiguration);
    if (driver.open == nullptr || driver.close == nullptr)
        return tool_failure("load driver", driver.path + " offers no gdd_open/gdd_close under version " +
                                               veldldap::kDriverSymbolVersion,
                            "this file is not the directory driver", kExitConfiguration);
    set_driver_directory(absolute.parent_path().string());
    return std::nullopt;
}

Failure missing_entry_point(const DriverLibrary &driver, const char *name) {
    return tool_failure(name, std::string("the driver ") + driver.path + " does not offer " + name,
                        "use a driver build that has all ten entry points", kExitConfiguration);
}
