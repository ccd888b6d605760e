/*
 * The bind password given apart from the initialisation string, so that it
 * never stands on the command line: the first line of --password-file FILE,
 * or typed at the terminal without echo (-W).  It is put into the string
 * (into each, when several servers are listed) in memory only, as the piece
 * after bindname=...?, enciphered when it can be, so that the driver's log,
 * which records the string, holds it only in that form; otherwise in clear,
 * where the string's grammar allows it.
 */
#ifndef VELDIR_BIND_PASSWORD_H
#define VELDIR_BIND_PASSWORD_H

#include <optional>
#include <string>
#include <string_view>

#include "cli.h"
#include "config.h"
#include "failure.h"

// Reads the password the invocation asks for, if any, into every string of settings.inits.
std::optional<Failure> add_bind_password(const Invocation &invocation, ConnectionSettings &settings);

// Puts `password` into `init`; the complaint in words, or nullopt.
std::optional<std::string> insert_password(std::string &init, std::string_view password);

#endif
