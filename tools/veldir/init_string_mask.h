/*
 * The initialisation string as veldir shows it, with what is secret replaced
 * by "****".  Secret is the piece the driver takes as the password, and a
 * first piece the driver refuses as a bind name: written with one "?" too
 * few, a string has its password there.  Both are found with the driver's
 * own grammar, so the mask covers exactly what the driver reads as secret;
 * for a string longer than the driver reads, also what it would read as
 * secret in the whole of it.
 */
#ifndef VELDIR_INIT_STRING_MASK_H
#define VELDIR_INIT_STRING_MASK_H

#include <string>
#include <string_view>
#include <vector>

#include "veldldap/init_string.h"

// The secret spans of `init`, in order, none overlapping.
std::vector<veldldap::init_string::Span> hidden_spans(std::string_view init);

// `init` with each hidden span replaced by "****".
std::string masked_init_string(std::string_view init);

#endif
