#include "table.h"

#include <algorithm>

namespace {

std::string printable(const std::string &cell) {
    std::string out;
    for (char c : cell) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += ' ';
        else out += c;
    }
    return out;
}

void print_row(std::ostream &out, const std::string &indent, const std::vector<std::string> &cells,
               const std::vector<std::size_t> &widths) {
    std::string line = indent;
    for (std::size_t column = 0; column < cells.size(); ++column) {
        const std::string cell = printable(cells[column]);
        line += cell;
        if (column + 1 < cells.size()) line.append(widths[column] - display_width(cell) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
}

}  // namespace

std::size_t display_width(const std::string &text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void Table::print(std::ostream &out, const std::string &indent) const {
    std::vector<std::size_t> widths(headers_.size());
    auto widen = [&widths](const std::vector<std::string> &cells) {
        if (widths.size() < cells.size()) widths.resize(cells.size());
        for (std::size_t column = 0; column < cells.size(); ++column)
            widths[column] = std::max(widths[column], display_width(printable(cells[column])));
    };
    widen(headers_);
    for (const auto &row : rows_) widen(row);
    if (!headers_.empty()) print_row(out, indent, headers_, widths);
    for (const auto &row : rows_) print_row(out, indent, row, widths);
}
