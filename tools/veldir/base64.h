/*
 * Base64 (RFC 4648, with padding) for LDIF values that are not safe as
 * plain text.
 */
#ifndef VELDIR_BASE64_H
#define VELDIR_BASE64_H

#include <optional>
#include <string>
#include <string_view>

std::string base64_encode(std::string_view bytes);

// Blanks are ignored; nullopt when the text is not valid base64.
std::optional<std::string> base64_decode(std::string_view text);

#endif
