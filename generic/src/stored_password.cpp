// The tools' door to the enciphering side of the password cipher: the
// driver's salt stays inside, the tools see only the public header.
#include "veldldap/stored_password.h"

#include "netenc.h"

static_assert(VELDLDAP_STORED_PASSWORD_LENGTH == NETPASSWORD_TEXT_LENGTH);
static_assert(VELDLDAP_STORED_PASSWORD_MAX == NETPASSWORD_MAX_LENGTH);
static_assert(VELDLDAP_STORED_PASSWORD_BLOCK == NETPASSWORD_BLOCK_BYTES);

CS_BOOL veldldap_password_storable(const char *password, int length) {
    return com_password_storable(password, length) ? CS_TRUE : CS_FALSE;
}

CS_RETCODE veldldap_encipher_password(const char *password, int length,
                                      char text[VELDLDAP_STORED_PASSWORD_LENGTH + 1]) {
    return com_initialize_hex_strings(reinterpret_cast<const char *>(OS), sizeof OS, password, length, text);
}
