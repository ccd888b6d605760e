#include "ldif.h"

#include <strings.h>

#include <optional>

#include "base64.h"
#include "schema.h"

namespace {

constexpr std::size_t kFoldWidth = 76;

bool safe_as_text(std::string_view value) {
    if (value.empty()) return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ') return false;
    // LDIF lets other control characters pass as text; base64 keeps them off the terminal.
    for (char c : value) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || byte >= 0x80) return false;
    }
    return true;
}

void write_line(std::ostream &out, std::string_view name, std::string_view value) {
    std::string line(name);
    if (safe_as_text(value)) {
        line += ": ";
        line += value;
    } else {
        line += ":: ";
        line += base64_encode(value);
    }
    // Continuation lines begin with one blank, which the reader removes.
    out << line.substr(0, kFoldWidth);
    for (std::size_t at = kFoldWidth; at < line.size(); at += kFoldWidth - 1)
        out << "\n " << line.substr(at, kFoldWidth - 1);
    out << '\n';
}

bool same_word(std::string_view left, std::string_view right) {
    return left.size() == right.size() && ::strncasecmp(left.data(), right.data(), left.size()) == 0;
}

struct LogicalLine {
    int line;
    std::string text;
};

// Splits into lines, joins folded ones, and drops comments.
std::vector<LogicalLine> unfold(std::string_view text) {
    std::vector<LogicalLine> lines;
    int number = 0;
    bool in_comment = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == ' ' && (in_comment || !lines.empty())) {
            if (!in_comment && !lines.back().text.empty()) lines.back().text += line.substr(1);
            continue;
        }
        in_comment = !line.empty() && line.front() == '#';
        if (!in_comment) lines.push_back({number, std::string(line)});
    }
    return lines;
}

// "name: value", "name:: base64" or "name:< url"; nullopt and a problem if malformed.
std::optional<std::pair<std::string, std::string>> split_line(const LogicalLine &line,
                                                               std::vector<LdifProblem> &problems) {
    const std::size_t colon = line.text.find(':');
    if (colon == std::string::npos || colon == 0) {
        problems.push_back({line.line, "expected \"attribute: value\""});
        return std::nullopt;
    }
    std::string name = line.text.substr(0, colon);
    std::string_view rest = std::string_view(line.text).substr(colon + 1);
    if (!rest.empty() && rest.front() == '<') {
        problems.push_back({line.line, "values given by URL (\":<\") are not supported"});
        return std::nullopt;
    }
    const bool encoded = !rest.empty() && rest.front() == ':';
    if (encoded) rest.remove_prefix(1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (!encoded) return std::make_pair(std::move(name), std::string(rest));
    std::optional<std::string> decoded = base64_decode(rest);
    if (!decoded) {
        problems.push_back({line.line, "the value of " + name + " is not valid base64"});
        return std::nullopt;
    }
    return std::make_pair(std::move(name), std::move(*decoded));
}

void take_record(const std::vector<LogicalLine> &lines, std::vector<LdifRecord> &records,
                 std::vector<LdifProblem> &problems) {
    LdifRecord record;
    record.line = lines.front().line;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::optional<std::pair<std::string, std::string>> pair = split_line(lines[i], problems);
        if (!pair) return;
        auto &[name, value] = *pair;
        if (i == 0) {
            if (!same_word(name, "dn")) {
                problems.push_back({lines[i].line, "a record must begin with \"dn:\""});
                return;
            }
            record.dn = value;
            continue;
        }
        if (same_word(name, "changetype")) {
            if (!same_word(value, "add")) {
                problems.push_back({lines[i].line, "only entries to add can be imported, not \"changetype: " + value + "\""});
                return;
            }
        } else if (same_word(name, "control")) {
            problems.push_back({lines[i].line, "controls are not supported"});
            return;
        } else if (same_word(name, "dn")) {
            problems.push_back({lines[i].line, "a second dn: in one record (is a blank line missing?)"});
            return;
        } else {
            record.attributes.emplace_back(std::move(name), std::move(value));
        }
    }
    records.push_back(std::move(record));
}

}  // namespace

void write_ldif_entry(std::ostream &out, const Entry &entry) {
    write_line(out, "dn", entry.dn);
    write_line(out, "objectClass", kServerClassName);
    for (const EntryAttribute &attribute : entry.attributes)
        for (const std::string &value : attribute.values) write_line(out, attribute.name, value);
    out << '\n';
}

void parse_ldif(std::string_view text, std::vector<LdifRecord> &records, std::vector<LdifProblem> &problems) {
    std::vector<LogicalLine> lines = unfold(text);
    std::vector<LogicalLine> record;
    bool first_record = true;
    auto flush = [&] {
        if (record.empty()) return;
        // "version: 1" may stand alone before the first record.
        if (first_record && same_word(record.front().text.substr(0, record.front().text.find(':')), "version")) {
            record.erase(record.begin());
        }
        first_record = false;
        if (!record.empty()) take_record(record, records, problems);
        record.clear();
    };
    for (LogicalLine &line : lines) {
        if (line.text.empty()) {
            flush();
            continue;
        }
        record.push_back(std::move(line));
    }
    flush();
}
