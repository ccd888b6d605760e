/*
 * Aligned text tables for the terminal: a header row (optional) and rows of
 * cells, each column as wide as its widest cell, counted in terminal
 * columns.  Control characters in cells are escaped (terminal_text.h), so
 * rows stay rows and directory values cannot drive the terminal.  A table
 * fitted to a width cuts the widest values first (never a column below its
 * header) and leaves out columns from the right when even that is too wide.
 */
#ifndef VELDIR_TABLE_H
#define VELDIR_TABLE_H

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

class Table {
public:
    Table() = default;
    explicit Table(std::vector<std::string> headers) : headers_(std::move(headers)) {}

    void add_row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    bool empty() const { return rows_.empty(); }
    // Lines of at most `width` columns, indent included; 0: as wide as the values.
    void fit_to(std::size_t width) { width_ = width; }
    // Returns how many columns were left out to fit.
    std::size_t print(std::ostream &out, const std::string &indent = "") const;

private:
    std::vector<std::size_t> column_widths(std::size_t indent) const;

    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
    std::size_t width_ = 0;
};

#endif
