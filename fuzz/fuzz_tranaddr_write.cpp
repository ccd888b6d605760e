// Writing a transport address as LDAP text from any DCL_TRANADDR, into the
// 513-byte buffer that add and modify provide.
//
// Input: four bytes of access type (host order), one byte of type length
// (taken modulo 64), the type bytes, then the address bytes (at most 511).
// Each text is terminated within its field; the bytes may hold NULs.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_host.h"
#include "ldap_schema.h"

namespace {

constexpr CS_INT kValueBufferSize = GDD_TEXT_SIZE;

// Fills `tranaddr` from the input; false when the input is too short.
bool build_tranaddr(const uint8_t *data, size_t size, DCL_TRANADDR *tranaddr) {
    if (size < 5) return false;
    std::memcpy(&tranaddr->dcl_accesstype, data, sizeof(CS_INT));
    const std::size_t type_length =
        std::min<std::size_t>(data[4] % sizeof tranaddr->dcl_trantype, size - 5);
    std::memcpy(tranaddr->dcl_trantype, data + 5, type_length);
    const uint8_t *address = data + 5 + type_length;
    const std::size_t address_length = std::min<std::size_t>(
        size - 5 - type_length, sizeof tranaddr->dcl_tranaddress - 1);
    std::memcpy(tranaddr->dcl_tranaddress, address, address_length);
    return true;
}

bool is_tcp_family(const char *type) {
    return std::strstr(type, "tcp") || std::strstr(type, "TCP") || std::strstr(type, "QRWINET");
}

}  // namespace

void fuzzhost::run(const uint8_t *data, std::size_t size) {
    auto tranaddr = std::make_unique<DCL_TRANADDR>();
    if (!build_tranaddr(data, size, tranaddr.get())) return;
    auto buffer = std::make_unique<char[]>(kValueBufferSize);
    if (gdd__get_ldap_tranaddr_string(buffer.get(), kValueBufferSize, tranaddr.get()) != CS_SUCCEED)
        std::abort();
    const char *text = buffer.get();
    if (std::memchr(text, '\0', kValueBufferSize) == nullptr) std::abort();
    // The TCP family is always written as "TCP" or "tcp", then the access type.
    if (is_tcp_family(tranaddr->dcl_trantype)) {
        const std::string access = "#" + std::to_string(tranaddr->dcl_accesstype) + "#";
        const std::string family = std::strncmp(text, "tcp", 3) == 0 ? "tcp" : "TCP";
        const std::string expected_start = family + access;
        if (std::strncmp(text, expected_start.c_str(), expected_start.size()) != 0) std::abort();
    }
}
