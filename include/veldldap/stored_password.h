/*
 * The stored form of a bind password: "0x01" followed by 66 hexadecimal
 * digits, which the driver turns back into the password when it reads the
 * initialisation string.  It keeps a password from being read at a glance,
 * nothing more: anyone who holds the driver can decipher it, so the
 * configuration file's permissions remain the protection.
 *
 * Enciphering is not an entry point of the driver: tools link it from the
 * static library veldldap_password, built from the driver's own cipher.
 */
#ifndef VELDLDAP_STORED_PASSWORD_H
#define VELDLDAP_STORED_PASSWORD_H

#include "cstypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Characters of the stored text, without its terminator. */
#define VELDLDAP_STORED_PASSWORD_LENGTH 70
/* The longest password that can be stored at all. */
#define VELDLDAP_STORED_PASSWORD_MAX 255
/* The cipher covers this many bytes; a longer password can be stored only
   when every byte after them repeats the byte this many places earlier. */
#define VELDLDAP_STORED_PASSWORD_BLOCK 32

/* Whether `length` bytes of `password` can be stored (see above). */
CS_BOOL veldldap_password_storable(const char *password, int length);

/* Writes the stored text and its terminator into `text`; CS_FAIL when the
   password cannot be stored or the system gives no random bytes.  Every
   call gives another text for the same password. */
CS_RETCODE veldldap_encipher_password(const char *password, int length,
                                      char text[VELDLDAP_STORED_PASSWORD_LENGTH + 1]);

#ifdef __cplusplus
}
#endif

#endif
