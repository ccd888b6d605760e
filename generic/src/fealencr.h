/*
 * FEAL-8, the block cipher under the stored-password cascade: 64-bit blocks,
 * 64-bit keys, eight rounds, sixteen 16-bit subkeys.  The driver's own key
 * schedule differs from the published one (com__charbuf_activate).
 */
#ifndef VELDLDAP_FEALENCR_H
#define VELDLDAP_FEALENCR_H

#include "netenc.h"

/* Subkeys K0 to K15 of one key, subkey k at entry k, its two bytes in order. */
typedef OCTET FEAL_KEYSCHED[16][2];

/* The driver's key schedule: fK's second argument is the previous right half
   alone, without the XOR of the left half from two rounds before. */
void com__charbuf_activate(const OCTET key[8], FEAL_KEYSCHED feal_keysched);

/* FEAL-8 decryption of the block C into P, and encryption of P into C. */
void com__charbuf_uninitialize(const OCTET C[8], OCTET P[8], const FEAL_KEYSCHED feal_keysched);
void com__charbuf_initialize(const OCTET P[8], OCTET C[8], const FEAL_KEYSCHED feal_keysched);

/* fK(A, B): 4-byte A and B into 4-byte fk. */
void com__charbuf_clean(const OCTET A[4], const OCTET B[4], OCTET fk[4]);
/* f(A, B): 4-byte A and 2-byte B into 4-byte f. */
void com__charbuf_alloc(const OCTET A[4], const OCTET B[2], OCTET f[4]);

#endif
