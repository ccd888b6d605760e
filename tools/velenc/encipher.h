/*
 * Enciphering of bind passwords for the initialisation string: a clear
 * password becomes the "0x01..." text that the driver decodes.  The password
 * is read without echo from the terminal, or as one line of standard input,
 * never from the command line, where the process list and the shell history
 * would show it.  velenc is this command alone; veldir offers the same
 * command as "encipher".
 */
#ifndef VELDLDAP_TOOLS_ENCIPHER_H
#define VELDLDAP_TOOLS_ENCIPHER_H

#include <cstdio>
#include <span>
#include <string_view>

#include "veldldap/stored_password.h"

enum class EncipherOutcome { enciphered, too_long, not_cyclic, contains_nul, no_randomness, empty };

// Exit codes of the command.
constexpr int kEncipherExitSuccess = 0;
constexpr int kEncipherExitFailure = 1;
constexpr int kEncipherExitNotStorable = 2;

// Enciphers `password` under the driver's salt into `text` (70 characters
// and a terminator).  Every call gives another text for the same password.
EncipherOutcome encipher_password(std::string_view password,
                                  char (&text)[VELDLDAP_STORED_PASSWORD_LENGTH + 1]);

// Why a password was not enciphered, for the user.
const char *encipher_outcome_message(EncipherOutcome outcome);

// The whole command.  `program` names it in messages and usage ("velenc",
// "veldir encipher"); `arguments` are those after it.  Writes the text to
// `out` and messages to `err`; returns the exit code.
int encipher_command(const char *program, std::span<char *const> arguments, std::FILE *out,
                     std::FILE *err);

#endif
