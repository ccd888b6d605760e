/*
 * The parts of veldir's manual page (roff) and of the README (Markdown) that
 * are written from veldir's own tables: the commands, the options, the exit
 * codes, the configuration file and the examples.  "veldir docs" puts them
 * between the markers in those files, so the files read as whole documents
 * and still say exactly what veldir's help says.
 */
#ifndef VELDIR_DOC_PARTS_H
#define VELDIR_DOC_PARTS_H

#include <optional>
#include <string>
#include <string_view>

enum class DocFormat { roff, markdown };

// The named part as whole lines; nullopt when there is no such part in that format.
std::optional<std::string> generated_part(std::string_view name, DocFormat format);

#endif
