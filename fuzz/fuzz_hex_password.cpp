// The stored-password decoder on any text, and the round trip: every password
// the enciphering side accepts decodes back to itself.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_host.h"
#include "ldap_drv.h"
#include "netenc.h"

namespace {

const char *salt() { return reinterpret_cast<const char *>(OS); }

// Decoding never writes past the length it reports, and reports at most 255.
void decode_any_text(const uint8_t *data, size_t size) {
    const auto text = fuzzhost::exact_copy(data, size);
    char plain[GDD_TEXT_SIZE] = {};
    int plainlen = -1;
    const CS_RETCODE decoded = com_uninitialize_hex_strings(
        salt(), sizeof OS, text.get(), static_cast<int>(size), plain, &plainlen);
    if (decoded == CS_SUCCEED && (plainlen < 0 || plainlen > NETPASSWORD_MAX_LENGTH)) std::abort();
    if (decoded != CS_SUCCEED && plainlen != -1) std::abort();
}

void round_trip(const uint8_t *data, size_t size) {
    if (size > NETPASSWORD_MAX_LENGTH) return;
    const char *password = reinterpret_cast<const char *>(data);
    const int length = static_cast<int>(size);
    char hextext[NETPASSWORD_TEXT_LENGTH + 1];
    if (com_initialize_hex_strings(salt(), sizeof OS, password, length, hextext) != CS_SUCCEED) {
        // Only a password that is not a repeat of its first 32 bytes is refused.
        if (com_password_storable(password, length)) std::abort();
        return;
    }
    char plain[GDD_TEXT_SIZE];
    int plainlen = -1;
    if (com_uninitialize_hex_strings(salt(), sizeof OS, hextext, NETPASSWORD_TEXT_LENGTH, plain,
                                     &plainlen) != CS_SUCCEED)
        std::abort();
    if (plainlen != length || std::memcmp(plain, password, size) != 0) std::abort();
}

}  // namespace

void fuzzhost::run(const uint8_t *data, std::size_t size) {
    decode_any_text(data, size);
    round_trip(data, size);
}
