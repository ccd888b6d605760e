/*
 * LDIF (RFC 2849) as veldir writes it for --ldif: unsafe values in base64,
 * long lines folded.  ldif_reader.h reads it back.
 */
#ifndef VELDIR_LDIF_H
#define VELDIR_LDIF_H

#include <ostream>
#include <string>
#include <string_view>

#include "entry.h"

// A comment in front of a value the driver cut when it read it (cut_values.h);
// the import refuses such a value.
inline constexpr std::string_view kLdifCutMark = "# veldir: cut:";

void write_ldif_entry(std::ostream &out, const Entry &entry);

#endif
