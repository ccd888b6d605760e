#include "driver_library.h"

#include <dlfcn.h>

namespace veldldap {
namespace {

template <typename Function>
void resolve(void *library, const char *name, Function &slot) {
    slot = reinterpret_cast<Function>(::dlvsym(library, name, kDriverSymbolVersion));
}

}  // namespace

bool load_driver_library(const std::string &path, DriverLibrary &driver, std::string &error) {
    void *library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        error = ::dlerror();
        return false;
    }
    driver.path = path;
    resolve(library, "gdd_open", driver.open);
    resolve(library, "gdd_close", driver.close);
    resolve(library, "gdd_bind", driver.bind);
    resolve(library, "gdd_unbind", driver.unbind);
    resolve(library, "gdd_read", driver.read);
    resolve(library, "gdd_search", driver.search);
    resolve(library, "gdd_add_entry", driver.add_entry);
    resolve(library, "gdd_modify_entry", driver.modify_entry);
    resolve(library, "gdd_delete_entry", driver.delete_entry);
    resolve(library, "gdd_props", driver.props);
    return true;
}

}  // namespace veldldap
