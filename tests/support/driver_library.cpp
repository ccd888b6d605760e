#include "support/driver_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename Function>
void resolve(void *library, const char *name, Function *slot) {
    // An entry point the driver lacks stays null: the test using it crashes.
    *slot = reinterpret_cast<Function>(dlvsym(library, name, "FLSSL_1"));
}

DriverLibrary load() {
    void *library = dlopen(VELDLDAP_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load the driver: %s\n", dlerror());
        std::abort();
    }
    DriverLibrary api{};
    resolve(library, "gdd_open", &api.open);
    resolve(library, "gdd_close", &api.close);
    resolve(library, "gdd_bind", &api.bind);
    resolve(library, "gdd_unbind", &api.unbind);
    resolve(library, "gdd_read", &api.read);
    resolve(library, "gdd_search", &api.search);
    resolve(library, "gdd_add_entry", &api.add_entry);
    resolve(library, "gdd_modify_entry", &api.modify_entry);
    resolve(library, "gdd_delete_entry", &api.delete_entry);
    resolve(library, "gdd_props", &api.props);
    return api;
}

}  // namespace

const DriverLibrary &driver() {
    static const DriverLibrary api = load();
    return api;
}

DCL_SESS_PROPS session_properties(int timelimit, const std::string &ca_file) {
    DCL_SESS_PROPS properties{};
    properties.dsp_timelimit = timelimit;
    std::snprintf(properties.dsp_tls_ca, sizeof properties.dsp_tls_ca, "%s", ca_file.c_str());
    return properties;
}

DCL_COMP untouched_comp() { return DCL_COMP{-11, -22, -33}; }
