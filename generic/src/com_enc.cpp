// The text form of a stored password: "0x01" and 66 hexadecimal digits, the
// 33 record bytes high nibble first.
#include <cstring>

#include "comnblib.h"
#include "netenc.h"

namespace {

constexpr char kPrefix[] = "0x01";
constexpr int kPrefixLength = 4;
constexpr char kDigits[] = "0123456789abcdef";

constexpr int digit_value(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

static_assert(sizeof(NETPASSWORD) == NETPASSWORD_RECORD_LENGTH);
static_assert(kPrefixLength + 2 * NETPASSWORD_RECORD_LENGTH == NETPASSWORD_TEXT_LENGTH);

}  // namespace

CS_RETCODE com_uninitialize_hex_strings(const char *salt, int saltlen, const char *hextext,
                                        int hextextlen, char *plaintext, int *plaintextlen) {
    // Length first: a shorter text must not be read past its end for the prefix.
    if (hextextlen != NETPASSWORD_TEXT_LENGTH) return CS_FAIL;
    if (com_unsignstrncmp(hextext, kPrefix, kPrefixLength) != 0) return CS_FAIL;
    NETPASSWORD record;
    OCTET *const bytes = reinterpret_cast<OCTET *>(&record);
    const char *digits = hextext + kPrefixLength;
    for (int i = 0; i < NETPASSWORD_RECORD_LENGTH; ++i) {
        const int high = digit_value(digits[2 * i]);
        const int low = digit_value(digits[2 * i + 1]);
        if (high < 0 || low < 0) return CS_FAIL;
        bytes[i] = static_cast<OCTET>(high << 4 | low);
    }
    return com__string_uninitialize(salt, saltlen, bytes, NETPASSWORD_RECORD_LENGTH, plaintext,
                                    plaintextlen) == 1
               ? CS_SUCCEED
               : CS_FAIL;
}

CS_RETCODE com_initialize_hex_strings(const char *salt, int saltlen, const char *plaintext,
                                      int plaintextlen, char *hextext) {
    OCTET record[NETPASSWORD_RECORD_LENGTH];
    if (com__string_initialize(salt, saltlen, plaintext, plaintextlen, record) != 1) return CS_FAIL;
    std::memcpy(hextext, kPrefix, kPrefixLength);
    char *digits = hextext + kPrefixLength;
    for (int i = 0; i < NETPASSWORD_RECORD_LENGTH; ++i) {
        digits[2 * i] = kDigits[record[i] >> 4];
        digits[2 * i + 1] = kDigits[record[i] & 0x0f];
    }
    digits[2 * NETPASSWORD_RECORD_LENGTH] = '\0';
    return CS_SUCCEED;
}
