/*
 * Aligned text tables for the terminal: a header row (optional) and rows of
 * cells, each column as wide as its widest cell, counted in characters, not
 * bytes.  Line breaks inside cells are shown as \n so rows stay rows.
 */
#ifndef VELDIR_TABLE_H
#define VELDIR_TABLE_H

#include <ostream>
#include <string>
#include <vector>

class Table {
public:
    Table() = default;
    explicit Table(std::vector<std::string> headers) : headers_(std::move(headers)) {}

    void add_row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    bool empty() const { return rows_.empty(); }
    void print(std::ostream &out, const std::string &indent = "") const;

private:
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
};

// Display width of UTF-8 text: one per character.
std::size_t display_width(const std::string &text);

#endif
