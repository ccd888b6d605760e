/*
 * Stored-password decoding: a password kept in the initialisation string as
 * "0x01" and 66 hexadecimal digits is a 33-byte record (four 8-byte blocks
 * enciphered by a salt-selected cascade of FEAL-8 keys, and the clear length).
 * The enciphering side, used by the tools, is the exact inverse.
 */
#ifndef VELDLDAP_NETENC_H
#define VELDLDAP_NETENC_H

#include <cstdint>

#include "cstypes.h"

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

/* Decodes the stored text; CS_SUCCEED with plaintextlen bytes (not
   terminated) in plaintext, CS_FAIL and nothing written otherwise. */
CS_RETCODE com_uninitialize_hex_strings(const char *salt, int saltlen, const char *hextext,
                                        int hextextlen, char *plaintext, int *plaintextlen);
int com__string_uninitialize(const char *salt, int saltlen, const OCTET *ciphertext,
                             int cipherlen, char *plaintext, int *ptextlen);

/* Enciphering side: the inverse of the decoder, for the tools.  Writes the
   70-character text and its terminator into `hextext` (71 bytes); fails for a
   salt that is not 8 bytes long or a password that is not a cyclic repeat of
   its first 32 bytes (longer ones cannot be stored otherwise). */
CS_RETCODE com_initialize_hex_strings(const char *salt, int saltlen, const char *plaintext,
                                      int plaintextlen, char *hextext);

#endif
