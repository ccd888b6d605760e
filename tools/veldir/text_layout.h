/*
 * veldir's texts laid out for a reader: paragraphs (separated by blank
 * lines) filled to a width, and lines that begin with a blank (examples)
 * kept as they are.  The help on the terminal, the manual page and the
 * README lay out the same texts with it, so each text is written once as
 * plain words.
 */
#ifndef VELDIR_TEXT_LAYOUT_H
#define VELDIR_TEXT_LAYOUT_H

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct TextLine {
    enum Kind { words, preformatted, paragraph_break };
    Kind kind;
    std::string text;
};

// `text` filled to `width` characters; words longer than that get a line of their own.
std::vector<TextLine> fill(std::string_view text, std::size_t width);

// "  LABEL   text..." for the terminal: the label two blanks in, the text
// filled in a column beside it (below it when the label is too wide); with
// an empty label, the text alone in that column.
void print_item(std::ostream &out, std::string_view label, std::size_t column, std::string_view text);

// The lines of a shell session: each command line with its comment (after
// "# ") aligned to the others'.
std::vector<std::string> commented_lines(const std::vector<std::pair<std::string, std::string>> &lines);

// The text with its first letter in capitals and a full stop at its end.
std::string as_sentence(std::string_view text);

inline constexpr std::size_t kTerminalWidth = 79;

#endif
