#include "table.h"

#include <algorithm>
#include <numeric>

#include "terminal_text.h"

namespace {

constexpr std::size_t kGap = 2;             // blanks between columns
constexpr std::size_t kNarrowestCut = 10;   // a column without a header is cut no narrower

using Rows = std::vector<std::vector<std::string>>;

// Each column as wide as its widest cell, and as narrow as it may be cut.
struct ColumnSpace {
    std::vector<std::size_t> natural;
    std::vector<std::size_t> narrowest;
};

ColumnSpace measure(const std::vector<std::string> &headers, const Rows &rows) {
    ColumnSpace space;
    auto widen = [&space](const std::vector<std::string> &cells) {
        if (space.natural.size() < cells.size()) space.natural.resize(cells.size());
        for (std::size_t column = 0; column < cells.size(); ++column)
            space.natural[column] = std::max(space.natural[column], display_width(cells[column]));
    };
    widen(headers);
    for (const auto &row : rows) widen(row);
    for (std::size_t column = 0; column < space.natural.size(); ++column) {
        const std::size_t header = column < headers.size() ? display_width(headers[column]) : 0;
        space.narrowest.push_back(std::min(space.natural[column], std::max(header, headers.empty() ? kNarrowestCut : std::size_t{0})));
    }
    return space;
}

std::size_t total(const std::vector<std::size_t> &widths) {
    if (widths.empty()) return 0;
    return std::accumulate(widths.begin(), widths.end(), std::size_t{0}) + kGap * (widths.size() - 1);
}

// The widths when every column is cut to at most `cap`, but none below its narrowest.
std::vector<std::size_t> capped(const ColumnSpace &space, std::size_t columns, std::size_t cap) {
    std::vector<std::size_t> widths;
    for (std::size_t column = 0; column < columns; ++column)
        widths.push_back(std::max(space.narrowest[column], std::min(space.natural[column], cap)));
    return widths;
}

// Leaves out columns from the right until the narrowest widths fit, then
// lowers a common cap on the widest columns until the whole fits.
std::vector<std::size_t> fitted(const ColumnSpace &space, std::size_t room) {
    std::size_t columns = space.natural.size();
    while (columns > 1 && total(capped(space, columns, 0)) > room) --columns;
    std::size_t cap = *std::max_element(space.natural.begin(), space.natural.begin() + static_cast<std::ptrdiff_t>(columns));
    std::vector<std::size_t> widths = capped(space, columns, cap);
    while (cap > 0 && total(widths) > room) widths = capped(space, columns, --cap);
    if (total(widths) > room) widths.front() = std::max<std::size_t>(room, 1);  // one column, wider than the screen
    return widths;
}

void print_row(std::ostream &out, const std::string &indent, const std::vector<std::string> &cells,
               const std::vector<std::size_t> &widths) {
    std::string line = indent;
    for (std::size_t column = 0; column < cells.size() && column < widths.size(); ++column) {
        const std::string cell = cut_to_width(cells[column], widths[column]);
        line += cell;
        if (column + 1 < widths.size()) line.append(widths[column] - display_width(cell) + kGap, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
}

std::vector<std::string> escaped(const std::vector<std::string> &cells) {
    std::vector<std::string> out;
    for (const std::string &cell : cells) out.push_back(escape_controls(cell));
    return out;
}

}  // namespace

std::size_t Table::print(std::ostream &out, const std::string &indent) const {
    const std::vector<std::string> headers = escaped(headers_);
    Rows rows;
    for (const auto &row : rows_) rows.push_back(escaped(row));
    const ColumnSpace space = measure(headers, rows);
    if (space.natural.empty()) return 0;
    const std::size_t room = width_ > display_width(indent) ? width_ - display_width(indent) : 1;
    const std::vector<std::size_t> widths =
        width_ == 0 || total(space.natural) <= room ? space.natural : fitted(space, room);
    if (!headers.empty()) print_row(out, indent, headers, widths);
    for (const auto &row : rows) print_row(out, indent, row, widths);
    return space.natural.size() - widths.size();
}
