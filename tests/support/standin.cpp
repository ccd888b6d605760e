#include "support/standin.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "host/test_host.h"

std::string Standin::install_dir(const std::string &variant) {
    return std::string(STANDIN_ROOT) + "/" + variant;
}

Standin &Standin::use(const std::string &variant) {
    static Standin *loaded = nullptr;
    if (loaded == nullptr) {
        const std::string path = install_dir(variant) + "/lib3p64/libvelmorldap64.so.15.5.0";
        void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "cannot load the stand-in: %s\n", dlerror());
            std::abort();
        }
        loaded = new Standin(library);
    }
    testhost::set_install_dir(install_dir(variant));
    return *loaded;
}

template <typename Function>
Function Standin::symbol(const char *name) {
    void *address = dlsym(library_, name);
    if (address == nullptr) std::abort();
    return reinterpret_cast<Function>(address);
}

void Standin::reset() { symbol<void (*)()>("standin_reset")(); }

void Standin::script(const std::string &function, long result, int error_number, int value) {
    symbol<void (*)(const char *, long, int, int)>("standin_script")(function.c_str(), result,
                                                                     error_number, value);
}

void Standin::set_entries(const std::string &entries) {
    symbol<void (*)(const char *)>("standin_set_entries")(entries.c_str());
}

int Standin::calls(const std::string &function) {
    return symbol<int (*)(const char *)>("standin_calls")(function.c_str());
}

std::string Standin::last_update() { return symbol<const char *(*)()>("standin_last_update")(); }

std::string Standin::last_search() { return symbol<const char *(*)()>("standin_last_search")(); }

long Standin::live_allocations() { return symbol<long (*)()>("standin_live_allocations")(); }

void Standin::release_messages() { symbol<void (*)()>("standin_release_messages")(); }
