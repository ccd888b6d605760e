// The initialisation string as the host hands it over: any bytes, with the
// length the host may pass (NUL-terminated, exact, or shorter than the bytes).
//
// Input: one byte choosing how the length is passed, then the string.
//   0      the string is terminated and its length is CS_NULLTERM
//   1      the exact length, with no terminator after the bytes
//   n > 1  a length n - 1 shorter than the bytes (at least 0)
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_host.h"
#include "ldap_drv.h"

namespace {

bool terminated_within(const char (&field)[GDD_TEXT_SIZE]) {
    return std::memchr(field, '\0', sizeof field) != nullptr;
}

void check_success(const DLDAP_HANDLE &handle) {
    const DLDAP_PROPS &def = handle.def;
    if (std::memcmp(&def, &handle.cur, sizeof def) != 0) std::abort();
    if (std::strcmp(handle.RDNAttribName, "velmorServername") != 0) std::abort();
    if (def.ldapportnumber == 0 || def.ldapscheme[0] == '\0' || def.ldapserver[0] == '\0')
        std::abort();
    for (const auto *field : {&def.ldapserver, &def.ldapscheme, &def.ditbase, &def.username,
                              &def.password})
        if (!terminated_within(*field)) std::abort();
}

void check_failure(const DCL_COMP &comp) {
    const bool bad_option = comp.dcl_status == DLDAP_STATUS_BAD_OPTION;
    const bool bad_string =
        comp.dcl_status == DLDAP_STATUS_FAILED && comp.dcl_provstatus == DLDAP_ERR_INITSTR;
    if (!bad_option && !bad_string) std::abort();
}

}  // namespace

void fuzzhost::run(const uint8_t *data, std::size_t size) {
    if (size == 0) return;
    const uint8_t mode = data[0];
    ++data;
    --size;

    std::unique_ptr<char[]> text;
    CS_INT len;
    if (mode == 0) {
        text = fuzzhost::terminated_copy(data, size);
        len = CS_NULLTERM;
    } else {
        text = fuzzhost::exact_copy(data, size);
        const std::size_t shorter = mode - 1u;
        len = static_cast<CS_INT>(size > shorter ? size - shorter : 0);
    }
    auto handle = std::make_unique<DLDAP_HANDLE>();
    DCL_COMP comp{};
    if (gdd__parse_init_str(text.get(), len, handle.get(), &comp) == CS_SUCCEED)
        check_success(*handle);
    else
        check_failure(comp);
}
