/*
 * Text as a terminal shows it.  Values come from the directory, and anyone
 * who may write an entry could otherwise send escape sequences that recolour
 * the screen, set the window title or move the cursor; so every value veldir
 * prints in words (tables, messages) passes through escape_controls first.
 * Widths are counted in terminal columns (a CJK character takes two, a
 * combining mark none), which is what fitting a table to the screen needs.
 */
#ifndef VELDIR_TERMINAL_TEXT_H
#define VELDIR_TERMINAL_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

// C0 controls and DEL as \n, \t, \e, \x01 ...; C1 controls as \u009b ...;
// bytes that are not UTF-8 as \xff ...  Backslashes stay as they are, so
// distinguished names with escapes read as the directory has them.
std::string escape_controls(std::string_view text);

// Terminal columns that UTF-8 text without controls takes.
std::size_t display_width(std::string_view text);

// The text cut to at most `width` columns, ending in "…" when cut.
std::string cut_to_width(std::string_view text, std::size_t width);

// The width of the terminal on `fd`, or 0 when `fd` is no terminal (a pipe
// or a file, where values are never cut).
std::size_t screen_width(int fd);

#endif
