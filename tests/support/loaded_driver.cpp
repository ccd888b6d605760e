#include "support/loaded_driver.h"

#include <cstdio>
#include <cstdlib>

namespace {

veldldap::DriverLibrary load() {
    veldldap::DriverLibrary library;
    std::string error;
    if (!veldldap::load_driver_library(VELDLDAP_DRIVER_PATH, library, error)) {
        std::fprintf(stderr, "cannot load the driver: %s\n", error.c_str());
        std::abort();
    }
    return library;
}

}  // namespace

const veldldap::DriverLibrary &driver() {
    static const veldldap::DriverLibrary library = load();
    return library;
}

DCL_SESS_PROPS session_properties(int timelimit, const std::string &ca_file) {
    DCL_SESS_PROPS properties{};
    properties.dsp_timelimit = timelimit;
    std::snprintf(properties.dsp_tls_ca, sizeof properties.dsp_tls_ca, "%s", ca_file.c_str());
    return properties;
}

DCL_COMP untouched_comp() { return DCL_COMP{-11, -22, -33}; }
