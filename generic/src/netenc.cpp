// The cipher cascade of stored passwords: each 8-byte block of the record goes
// through nine FEAL-8 keys chosen by the salt, and the password is taken out
// of the 32 deciphered bytes at a salt-given offset.  The enciphering side
// runs the same keys in the opposite order.
#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "fealencr.h"
#include "ldap_secret.h"
#include "netenc.h"

namespace {

constexpr int kSaltLength = 8;
constexpr int kBlockLength = 8;
constexpr int kBlocks = NETPASSWORD_BLOCK_BYTES / kBlockLength;
constexpr int kCascadeLength = 9;

constexpr unsigned salt_byte(const char *salt, int i) { return static_cast<unsigned char>(salt[i]); }

// Working-key rows in deciphering order: salt bytes 7 down to 0, then one
// more key from byte 0 alone.  The modulus is 254, so rows stay within 2..255.
constexpr std::array<int, kCascadeLength> cascade_rows(const char *salt) {
    std::array<int, kCascadeLength> rows{};
    for (int i = 7; i >= 0; --i)
        rows[static_cast<std::size_t>(7 - i)] =
            2 + static_cast<int>((salt_byte(salt, i) + static_cast<unsigned>(i)) * 3 % 254);
    rows[8] = 2 + static_cast<int>(salt_byte(salt, 0) % 254);
    return rows;
}

void key_schedule_of(int row, int innerindex, FEAL_KEYSCHED schedule) {
    com__charbuf_activate(&Com__Netkey[row][kBlockLength * innerindex], schedule);
}

// Offset of the password's first byte in the 32 deciphered bytes.
constexpr int password_offset(const char *salt) { return salt_byte(salt, 0) % NETPASSWORD_BLOCK_BYTES; }

bool fill_random(OCTET *bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t got = getrandom(bytes, count, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

OCTET *as_octets(char *bytes) { return reinterpret_cast<OCTET *>(bytes); }

}  // namespace

void com__char_uninitialize(const OCTET *ciphertext, const char *salt, OCTET *plaintext,
                            int innerindex) {
    SecretBuffer<kBlockLength> block, next;
    std::memcpy(block.data(), ciphertext, kBlockLength);
    for (int row : cascade_rows(salt)) {
        FEAL_KEYSCHED schedule;
        key_schedule_of(row, innerindex, schedule);
        com__charbuf_uninitialize(as_octets(block.data()), as_octets(next.data()), schedule);
        std::memcpy(block.data(), next.data(), kBlockLength);
    }
    std::memcpy(plaintext, block.data(), kBlockLength);
}

void com__char_initialize(const OCTET *plaintext, const char *salt, OCTET *ciphertext,
                          int innerindex) {
    SecretBuffer<kBlockLength> block, next;
    std::memcpy(block.data(), plaintext, kBlockLength);
    const auto rows = cascade_rows(salt);
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        FEAL_KEYSCHED schedule;
        key_schedule_of(*row, innerindex, schedule);
        com__charbuf_initialize(as_octets(block.data()), as_octets(next.data()), schedule);
        std::memcpy(block.data(), next.data(), kBlockLength);
    }
    std::memcpy(ciphertext, block.data(), kBlockLength);
}

void com__trunc(const OCTET *ptext, int textlen, const char *salt, char *text) {
    const int offset = password_offset(salt);
    for (int j = 0; j < textlen; ++j)
        text[j] = static_cast<char>(ptext[(j + offset) % NETPASSWORD_BLOCK_BYTES]);
}

int com__string_uninitialize(const char *salt, int saltlen, const OCTET *ciphertext,
                             int cipherlen, char *plaintext, int *ptextlen) {
    if (saltlen != kSaltLength || cipherlen != NETPASSWORD_RECORD_LENGTH) return 0;
    SecretBuffer<NETPASSWORD_BLOCK_BYTES> work;
    for (int b = 0; b < kBlocks; ++b)
        com__char_uninitialize(ciphertext + kBlockLength * b, salt,
                               as_octets(work.data()) + kBlockLength * b, b);
    const int length = ciphertext[NETPASSWORD_BLOCK_BYTES];
    *ptextlen = length;
    com__trunc(as_octets(work.data()), length, salt, plaintext);
    return 1;
}

bool com_password_storable(const char *plaintext, int plaintextlen) {
    if (plaintextlen < 0 || plaintextlen > NETPASSWORD_MAX_LENGTH) return false;
    for (int j = NETPASSWORD_BLOCK_BYTES; j < plaintextlen; ++j)
        if (plaintext[j] != plaintext[j - NETPASSWORD_BLOCK_BYTES]) return false;
    return true;
}

int com__string_initialize(const char *salt, int saltlen, const char *plaintext, int ptextlen,
                           OCTET *ciphertext) {
    if (saltlen != kSaltLength || !com_password_storable(plaintext, ptextlen)) return 0;
    // The bytes a short password leaves free must not tell anything about it.
    SecretBuffer<NETPASSWORD_BLOCK_BYTES> work;
    OCTET *const bytes = as_octets(work.data());
    if (!fill_random(bytes, NETPASSWORD_BLOCK_BYTES)) return 0;
    const int offset = password_offset(salt);
    for (int j = 0; j < ptextlen && j < NETPASSWORD_BLOCK_BYTES; ++j)
        bytes[(j + offset) % NETPASSWORD_BLOCK_BYTES] = static_cast<OCTET>(plaintext[j]);
    for (int b = 0; b < kBlocks; ++b)
        com__char_initialize(bytes + kBlockLength * b, salt, ciphertext + kBlockLength * b, b);
    ciphertext[NETPASSWORD_BLOCK_BYTES] = static_cast<OCTET>(ptextlen);
    return 1;
}
