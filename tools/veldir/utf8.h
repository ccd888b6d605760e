/*
 * UTF-8 as the directory and JSON want it: well-formed sequences only (no
 * overlong forms, no surrogates, nothing past U+10FFFF).  The JSON writer
 * replaces what is not UTF-8; the import's check pass refuses it, naming
 * the byte where it goes wrong.
 */
#ifndef VELDIR_UTF8_H
#define VELDIR_UTF8_H

#include <cstddef>
#include <optional>
#include <string_view>

// Length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t utf8_sequence_length(std::string_view text);

// The offset of the first byte that does not begin a valid sequence; nullopt for valid UTF-8.
std::optional<std::size_t> first_invalid_utf8(std::string_view text);

#endif
