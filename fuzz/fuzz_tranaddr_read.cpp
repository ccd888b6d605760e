// Reading a transport address from any LDAP value text.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_host.h"
#include "ldap_schema.h"

void fuzzhost::run(const uint8_t *data, std::size_t size) {
    // The reader cuts the value in place, as it does in the LDAP library's
    // value array: it gets a writable copy.
    const auto value = fuzzhost::terminated_copy(data, size);
    auto tranaddr = std::make_unique<DCL_TRANADDR>();
    const DCL_TRANADDR untouched{};
    if (gdd__get_dcl_tranaddr(tranaddr.get(), value.get()) != CS_SUCCEED) {
        if (std::memcmp(tranaddr.get(), &untouched, sizeof untouched) != 0) std::abort();
        return;
    }
    const auto &type = tranaddr->dcl_trantype;
    const auto &address = tranaddr->dcl_tranaddress;
    if (std::memchr(type, '\0', sizeof type) == nullptr) std::abort();
    if (std::memchr(address, '\0', sizeof address) == nullptr) std::abort();
    // Fields never hold the separator, and a type never starts with a blank.
    if (type[0] == '\0' || type[0] == ' ') std::abort();
    if (std::strchr(type, '#') != nullptr || std::strchr(address, '#') != nullptr) std::abort();
}
