// Building the distinguished name of a server entry from any name, name
// length, buffer size and base DN.
//
// Input: two bytes of buffer size (signed, host order), one byte choosing the
// name length, two bytes of base length (modulo 513), the base bytes, then
// the name bytes.  Length choices:
//   0      the name is terminated and its length is CS_NULLTERM
//   1      the exact length, with no terminator after the bytes
//   2      a negative length other than CS_NULLTERM
//   n > 2  a length n - 2 shorter than the bytes (at least 0)
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_host.h"
#include "ldap_search.h"

namespace {

constexpr char kNamingAttribute[] = "velmorServername";
constexpr unsigned char kCanary = 0xA5;

struct Case {
    int16_t dnbuflen;
    std::unique_ptr<char[]> name;
    std::size_t name_size;
    CS_INT namelen;
};

bool read_case(const uint8_t *data, size_t size, DLDAP_HANDLE *handle, Case *c) {
    if (size < 5) return false;
    std::memcpy(&c->dnbuflen, data, sizeof c->dnbuflen);
    const uint8_t length_choice = data[2];
    uint16_t base_length;
    std::memcpy(&base_length, data + 3, sizeof base_length);
    data += 5;
    size -= 5;
    const std::size_t base_size = std::min<std::size_t>(base_length % GDD_TEXT_SIZE, size);
    std::memcpy(handle->cur.ditbase, data, base_size);
    data += base_size;
    size -= base_size;

    c->name_size = size;
    if (length_choice == 0) {
        c->name = fuzzhost::terminated_copy(data, size);
        c->namelen = CS_NULLTERM;
        return true;
    }
    c->name = fuzzhost::exact_copy(data, size);
    if (length_choice == 1) {
        c->namelen = static_cast<CS_INT>(size);
    } else if (length_choice == 2) {
        c->namelen = -1 - static_cast<CS_INT>(size % 1000);
        if (c->namelen == CS_NULLTERM) c->namelen = -10;
    } else {
        const std::size_t shorter = length_choice - 2u;
        c->namelen = static_cast<CS_INT>(size > shorter ? size - shorter : 0);
    }
    return true;
}

// What the name becomes in the composed DN: at most namelen bytes, up to a NUL.
std::string name_text(const Case &c) {
    const std::size_t limit =
        c.namelen == CS_NULLTERM ? c.name_size : static_cast<std::size_t>(c.namelen);
    const char *end = static_cast<const char *>(std::memchr(c.name.get(), '\0', limit));
    return std::string(c.name.get(), end ? static_cast<std::size_t>(end - c.name.get()) : limit);
}

}  // namespace

void fuzzhost::run(const uint8_t *data, std::size_t size) {
    auto handle = std::make_unique<DLDAP_HANDLE>();
    std::strcpy(handle->RDNAttribName, kNamingAttribute);
    Case c;
    if (!read_case(data, size, handle.get(), &c)) return;

    // A buffer of exactly the size the caller claims, so any write past it is caught.
    const std::size_t buffer_size = c.dnbuflen > 0 ? static_cast<std::size_t>(c.dnbuflen) : 0;
    auto guarded = std::make_unique<char[]>(buffer_size);
    std::memset(guarded.get(), kCanary, buffer_size);

    const CS_RETCODE built =
        gdd__get_dn(guarded.get(), c.dnbuflen, c.name.get(), c.namelen, handle.get());
    if (built != CS_SUCCEED) {
        // On failure the buffer is not written.
        for (std::size_t i = 0; i < buffer_size; ++i)
            if (static_cast<unsigned char>(guarded[i]) != kCanary) std::abort();
        return;
    }
    if (c.namelen < 0 && c.namelen != CS_NULLTERM) std::abort();
    const char *text = guarded.get();
    const char *terminator = static_cast<const char *>(std::memchr(text, '\0', buffer_size));
    if (terminator == nullptr) std::abort();
    const CS_INT measured =
        c.namelen == CS_NULLTERM ? static_cast<CS_INT>(std::strlen(c.name.get())) : c.namelen;
    if (gdd__check_dn(c.name.get(), measured, handle.get()) == CS_TRUE) {
        // A distinguished name is copied unchanged, NULs and all.
        if (std::memcmp(text, c.name.get(), static_cast<std::size_t>(measured)) != 0 ||
            text[measured] != '\0')
            std::abort();
        return;
    }
    const std::string expected =
        std::string(kNamingAttribute) + "=" + name_text(c) + ", " + handle->cur.ditbase;
    if (expected != std::string(text, static_cast<std::size_t>(terminator - text))) std::abort();
}
