/*
 * Stored-password decoding: a password kept in the initialisation string as
 * "0x01" and 66 hexadecimal digits is a 33-byte record (four 8-byte blocks
 * enciphered by a salt-selected cascade of FEAL-8 keys, and the clear length).
 * The enciphering side, used by the tools, is the exact inverse.
 */
#ifndef VELDLDAP_NETENC_H
#define VELDLDAP_NETENC_H

#include <cstdint>

#include "veldldap/cstypes.h"

typedef uint8_t OCTET;
typedef uint16_t DOCTET;
typedef uint32_t QOCTET;
typedef uint64_t OOCTET;

typedef struct {
    OCTET ciphertext[32];
    OCTET length;
} NETPASSWORD;

/* Length of the stored text: "0x01" and two digits for each of 33 bytes. */
constexpr int NETPASSWORD_TEXT_LENGTH = 70;

/* The driver's fixed salt. */
extern const unsigned char OS[8];

/* Stored key table: 256 rows of 32 bytes. */
extern const OCTET Com__Enkeys[256][32];

/* Bytes of the record that the four enciphered blocks cover; a password
   longer than this repeats them. */
constexpr int NETPASSWORD_BLOCK_BYTES = 32;
constexpr int NETPASSWORD_RECORD_LENGTH = 33;
constexpr int NETPASSWORD_MAX_LENGTH = 255;

/* Working keys: row r (2 to 255) is stored row r XOR stored row r - 1 and
   holds four 8-byte keys, one for each block position.  Rows 0 and 1 and the
   33rd byte of a row are never used.  The table is derived from constant data
   at compile time, so no decode can ever see it half filled. */
struct NETKEY_TABLE {
    OCTET rows[256][33];
    constexpr const OCTET *operator[](int row) const { return rows[row]; }
};

constexpr NETKEY_TABLE com_init_text_mem(const OCTET (&enkeys)[256][32]) {
    NETKEY_TABLE table{};
    for (int row = 2; row < 256; ++row)
        for (int j = 0; j < NETPASSWORD_BLOCK_BYTES; ++j)
            table.rows[row][j] = static_cast<OCTET>(enkeys[row][j] ^ enkeys[row - 1][j]);
    return table;
}

extern const NETKEY_TABLE Com__Netkey;

/* Decodes the stored text; CS_SUCCEED with plaintextlen bytes (not
   terminated) in plaintext, CS_FAIL and nothing written otherwise. */
CS_RETCODE com_uninitialize_hex_strings(const char *salt, int saltlen, const char *hextext,
                                        int hextextlen, char *plaintext, int *plaintextlen);
int com__string_uninitialize(const char *salt, int saltlen, const OCTET *ciphertext,
                             int cipherlen, char *plaintext, int *ptextlen);
/* One 8-byte block at position innerindex (0 to 3) of the record. */
void com__char_uninitialize(const OCTET *ciphertext, const char *salt, OCTET *plaintext,
                            int innerindex);
/* textlen bytes of the 32-byte deciphered buffer, from the salt-given offset on,
   wrapping. */
void com__trunc(const OCTET *ptext, int textlen, const char *salt, char *text);

/* Enciphering side: the inverse of the decoder, for the tools.  Writes the
   70-character text and its terminator into `hextext` (71 bytes); fails for a
   salt that is not 8 bytes long or a password that is not a cyclic repeat of
   its first 32 bytes (longer ones cannot be stored otherwise). */
CS_RETCODE com_initialize_hex_strings(const char *salt, int saltlen, const char *plaintext,
                                      int plaintextlen, char *hextext);

/* Whether a password can be stored at all: at most 255 bytes, and beyond the
   32nd byte a repeat of the bytes 32 places earlier. */
bool com_password_storable(const char *plaintext, int plaintextlen);

/* The record-level inverse of com__string_uninitialize: returns 1 with the
   33 record bytes in `ciphertext`, 0 (nothing written) for a wrong salt
   length, a password that cannot be stored, or no random bytes for the
   filler. */
int com__string_initialize(const char *salt, int saltlen, const char *plaintext, int ptextlen,
                           OCTET *ciphertext);
void com__char_initialize(const OCTET *plaintext, const char *salt, OCTET *ciphertext,
                          int innerindex);

#endif
