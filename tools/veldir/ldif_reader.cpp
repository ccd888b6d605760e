#include "ldif_reader.h"

#include <lber.h>
#include <ldif.h>  // needs lber.h first
#include <strings.h>

#include "ldif.h"

namespace {

bool same_word(std::string_view left, std::string_view right) {
    return left.size() == right.size() && ::strncasecmp(left.data(), right.data(), left.size()) == 0;
}

std::string_view type_of(std::string_view text) { return text.substr(0, text.find(':')); }

}  // namespace

bool LdifReader::next_lines(std::vector<Line> &lines) {
    lines.clear();
    bool in_comment = false;
    bool cut_pending = false;
    for (std::string text; std::getline(in_, text);) {
        ++number_;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty()) {
            if (lines.empty()) continue;
            return true;
        }
        // A line beginning with one blank continues the line before it.
        if (text.front() == ' ' && (in_comment || !lines.empty())) {
            if (!in_comment) lines.back().text.append(text, 1);
            continue;
        }
        in_comment = text.front() == '#';
        if (in_comment) {
            cut_pending = cut_pending || text.starts_with(kLdifCutMark);
            continue;
        }
        lines.push_back({number_, std::move(text), cut_pending});
        cut_pending = false;
    }
    return !lines.empty();
}

bool LdifReader::take_line(const Line &line, bool first, LdifRecord &record) {
    // A broken first line leaves no record; any other problem of a line leaves the rest readable.
    auto problem = [&](std::string message) {
        record.problems.push_back({line.number, std::move(message)});
        return !first;
    };
    if (line.text.find('\0') != std::string::npos) return problem("the line holds a NUL byte");
    const std::size_t colon = line.text.find(':');
    if (colon == std::string::npos || colon == 0) return problem("expected \"attribute: value\"");
    if (line.text.compare(colon, 2, ":<") == 0) return problem("values given by URL (\":<\") are not supported");
    std::string buffer = line.text;
    berval type{}, value{};
    int allocated = 0;
    if (ldif_parse_line2(buffer.data(), &type, &value, &allocated) != 0) {
        const bool encoded = line.text.compare(colon, 2, "::") == 0;
        return problem(encoded ? "the value of " + line.text.substr(0, colon) + " is not valid base64"
                               : "expected \"attribute: value\"");
    }
    std::string name(type.bv_val, type.bv_len);
    std::string text = value.bv_val == nullptr ? std::string() : std::string(value.bv_val, value.bv_len);
    if (allocated) ber_memfree(value.bv_val);
    if (first) {
        if (!same_word(name, "dn")) return problem("a record must begin with \"dn:\"");
        record.line = line.number;
        record.dn = std::move(text);
        return true;
    }
    // After another change type, a control or a second dn: the lines are not this entry's attributes.
    if (same_word(name, "changetype") && !same_word(text, "add")) {
        problem("only entries to add can be imported, not \"changetype: " + text + "\"");
        return false;
    }
    if (same_word(name, "control") || same_word(name, "dn")) {
        problem(same_word(name, "dn") ? "a second dn: in one record (is a blank line missing?)"
                                      : "controls are not supported");
        return false;
    }
    // Every entry the driver adds is a velmorServer; "changetype: add" says what an entry record says.
    if (same_word(name, "objectClass") || same_word(name, "changetype")) return true;
    record.attributes.push_back({line.number, std::move(name), std::move(text), line.cut});
    return true;
}

bool LdifReader::next(LdifRecord &record) {
    record = LdifRecord{};
    std::vector<Line> lines;
    while (next_lines(lines)) {
        // "version: 1" may stand before the first record, alone or as its first line.
        if (first_record_ && same_word(type_of(lines.front().text), "version")) lines.erase(lines.begin());
        first_record_ = false;
        if (lines.empty()) continue;
        record.line = lines.front().number;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (!take_line(lines[i], i == 0, record)) break;
        return true;
    }
    return false;
}
