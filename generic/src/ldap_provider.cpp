// Loading the LDAP client library at run time and resolving, by name, the
// entry points of the provider table.  The table is built privately and
// published through `lpp` only when all required entry points are in it, so a
// concurrent caller sees either no table or a complete one; a mutex makes
// concurrent first loads wait for one another instead of loading twice.
#include <dlfcn.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

#include "ldap_drv.h"
#include "ldapprovider.h"

const char *const LDAPAPI_LIBS[] = {"libvelmorldap64.so.15.5.0", nullptr};

std::atomic<const LDAPAPI_PROVIDER *> lpp{nullptr};

namespace {

struct EntryPoint {
    const char *symbol;
    std::size_t slot;  // offset of the slot in LDAPAPI_PROVIDER
};

#define SLOT(field) offsetof(LDAPAPI_PROVIDER, field)

// The required entry points in resolution order: when several are missing,
// the first one in this order is the one reported.
constexpr EntryPoint kRequiredEntryPoints[] = {
    {"ber_memfree", SLOT(ber_memfree)},
    {"ldap_add_s", SLOT(ldap_add_s)},
    {"ber_free", SLOT(ldap_ber_free)},
    {"ldap_count_entries", SLOT(ldap_count_entries)},
    {"ldap_count_values", SLOT(ldap_count_values)},
    {"ldap_delete_s", SLOT(ldap_delete_s)},
    {"ldap_err2string", SLOT(ldap_err2string)},
    {"ldap_first_attribute", SLOT(ldap_first_attribute)},
    {"ldap_first_entry", SLOT(ldap_first_entry)},
    {"ldap_free_urldesc", SLOT(ldap_free_urldesc)},
    {"ldap_get_dn", SLOT(ldap_get_dn)},
    {"ldap_get_option", SLOT(ldap_get_option)},
    {"ldap_get_values", SLOT(ldap_get_values)},
    {"ldap_initialize", SLOT(ldap_initialize)},
    {"ldap_install_tls", SLOT(ldap_install_tls)},
    {"ldap_is_ldap_url", SLOT(ldap_is_ldap_url)},
    {"ldap_is_ldaps_url", SLOT(ldap_is_ldaps_url)},
    {"ldap_memfree", SLOT(ldap_memfree)},
    {"ldap_modify_s", SLOT(ldap_modify_s)},
    {"ldap_next_attribute", SLOT(ldap_next_attribute)},
    {"ldap_next_entry", SLOT(ldap_next_entry)},
    {"ldap_parse_result", SLOT(ldap_parse_result)},
    {"ldap_parse_extended_result", SLOT(ldap_parse_extended_result)},
    {"ldap_search_st", SLOT(ldap_search_st)},
    {"ldap_result", SLOT(ldap_result)},
    {"ldap_set_option", SLOT(ldap_set_option)},
    {"ldap_simple_bind_s", SLOT(ldap_simple_bind_s)},
    {"ldap_simple_bind", SLOT(ldap_simple_bind)},
    {"ldap_start_tls_s", SLOT(ldap_start_tls_s)},
    {"ldap_start_tls", SLOT(ldap_start_tls)},
    {"ldap_unbind_s", SLOT(ldap_unbind_s)},
    {"ldap_url_parse", SLOT(ldap_url_parse)},
    {"ldap_value_free", SLOT(ldap_value_free)},
};
static_assert(std::size(kRequiredEntryPoints) == LDAPAPI_REQUIRED_ENTRY_POINTS);

// Looked up beside the required ones; a library without them is still
// accepted and the driver then does without.
constexpr EntryPoint kOptionalEntryPoints[] = {
    {"ldap_msgfree", SLOT(ldap_msgfree)},
};

#undef SLOT

void store_slot(LDAPAPI_PROVIDER *table, std::size_t slot, void *address) {
    std::memcpy(reinterpret_cast<char *>(table) + slot, &address, sizeof address);
}

anyfile_t host_path_function() {
    static std::atomic<anyfile_t> fptr{nullptr};
    anyfile_t function = fptr.load(std::memory_order_acquire);
    if (function == nullptr) {
        void *self = dlopen(nullptr, RTLD_NOW);
        function = reinterpret_cast<anyfile_t>(self ? dlsym(self, "com_path_anyfile") : nullptr);
        fptr.store(function, std::memory_order_release);
    }
    return function;
}

std::size_t library_count() {
    std::size_t count = 0;
    while (LDAPAPI_LIBS[count] != nullptr) ++count;
    return count;
}

// Every name is loaded in order from the installation's "lib3p64" directory;
// the handle of the last name is the one that counts.
void *load_from_known_location(anyfile_t path_of) {
    GDD_LOG("LD_LIBRARY_PATH or equivalent probably not set.\n");
    GDD_LOG("Attempting to load the libraries from the known location.\n");
    void *handle = nullptr;
    for (std::size_t i = 0; LDAPAPI_LIBS[i] != nullptr; ++i) {
        char fullpath[512];
        char directory[] = "lib3p64";
        if (path_of(fullpath, sizeof fullpath, directory, const_cast<CS_CHAR *>(LDAPAPI_LIBS[i]),
                    CS_TRUE) != CS_SUCCEED)
            COM_BOMB();
        GDD_LOG("Trying to load %s\n", fullpath);
        handle = dlopen(fullpath, RTLD_NOW);
        if (handle == nullptr) {
            const char *reason = dlerror();
            GDD_LOG("Loading failed: %s\n", reason ? reason : "");
            GDD_LOG("errno = %i\n", errno);
        }
    }
    return handle;
}

CS_RETCODE resolve_entry_points(LDAPAPI_PROVIDER *table, DCL_COMP *compp) {
    for (const EntryPoint &entry : kRequiredEntryPoints) {
        void *address = dlsym(table->handle, entry.symbol);
        if (address == nullptr) {
            GDD_LOG("Error: DLSYM(.,\"%s\") failed!\n", entry.symbol);
            return gdd__dldap_error(compp, DLDAP_ERR_LOADLIB, errno);
        }
        store_slot(table, entry.slot, address);
    }
    for (const EntryPoint &entry : kOptionalEntryPoints)
        store_slot(table, entry.slot, dlsym(table->handle, entry.symbol));
    return CS_SUCCEED;
}

CS_RETCODE load_provider(DCL_COMP *compp) {
    auto *table = static_cast<LDAPAPI_PROVIDER *>(gdd__calloc(1, sizeof(LDAPAPI_PROVIDER)));
    if (table == nullptr) return gdd__dldap_error(compp, DLDAP_ERR_NOMEM, errno);
    anyfile_t path_of = host_path_function();
    if (path_of == nullptr) COM_BOMB();

    table->handle = dlopen(LDAPAPI_LIBS[library_count() - 1], RTLD_NOW);
    if (table->handle == nullptr) table->handle = load_from_known_location(path_of);
    if (table->handle == nullptr) {
        const int saved_errno = errno;
        std::free(table);
        return gdd__dldap_error(compp, DLDAP_ERR_LOADLIB, saved_errno);
    }
    if (resolve_entry_points(table, compp) != CS_SUCCEED) {
        std::free(table);  // the library stays loaded: it is never closed
        return CS_FAIL;
    }
    GDD_LOG("!!!! gdd__load_ldap_provider succeeded !!!!\n");
    lpp.store(table, std::memory_order_release);
    return CS_SUCCEED;
}

}  // namespace

CS_RETCODE gdd__load_ldap_provider(DCL_COMP *compp) {
    if (lpp.load(std::memory_order_acquire) != nullptr) return CS_SUCCEED;
    static std::mutex loading;
    std::lock_guard<std::mutex> guard(loading);
    if (lpp.load(std::memory_order_acquire) != nullptr) return CS_SUCCEED;
    return load_provider(compp);
}
