/*
 * Base64 (RFC 4648, with padding) for LDIF values that are not safe as
 * plain text.  Reading goes through libldap (ldif_reader.h).
 */
#ifndef VELDIR_BASE64_H
#define VELDIR_BASE64_H

#include <string>
#include <string_view>

std::string base64_encode(std::string_view bytes);

#endif
