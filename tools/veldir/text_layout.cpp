#include "text_layout.h"

#include <algorithm>
#include <cctype>

namespace {

bool is_blank_line(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

class Filler {
public:
    Filler(std::vector<TextLine> &lines, std::size_t width) : lines_(lines), width_(width) {}

    // Two blanks after a sentence stay two, as the texts are written (and as
    // roff wants them); a line's end counts as two after a full stop.
    void add_words(std::string_view line) {
        std::size_t at = 0;
        while (at < line.size()) {
            const std::size_t begin = line.find_first_not_of(' ', at);
            if (begin == std::string_view::npos) break;
            const std::size_t end = std::min(line.find(' ', begin), line.size());
            add_word(line.substr(begin, end - begin), sentence_ended_ || begin - at >= 2);
            sentence_ended_ = false;
            at = end;
        }
        sentence_ended_ = !line.empty() && line.back() == '.';
    }

    void add_word(std::string_view word, bool wide_gap) {
        const std::string_view gap = wide_gap ? "  " : " ";
        if (!current_.empty() && current_.size() + gap.size() + word.size() > width_) flush();
        if (!current_.empty()) current_ += gap;
        current_ += word;
    }

    void add(TextLine::Kind kind, std::string_view text) {
        flush();
        lines_.push_back({kind, std::string(text)});
    }

    void flush() {
        sentence_ended_ = false;
        if (current_.empty()) return;
        lines_.push_back({TextLine::words, current_});
        current_.clear();
    }

private:
    std::vector<TextLine> &lines_;
    std::size_t width_;
    std::string current_;
    bool sentence_ended_ = false;
};

}  // namespace

std::vector<TextLine> fill(std::string_view text, std::size_t width) {
    std::vector<TextLine> lines;
    Filler filler(lines, width);
    bool pending_break = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (is_blank_line(line)) {
            filler.flush();
            pending_break = !lines.empty();
            continue;
        }
        if (pending_break) filler.add(TextLine::paragraph_break, "");
        pending_break = false;
        if (line.front() == ' ')
            filler.add(TextLine::preformatted, line);
        else
            filler.add_words(line);
    }
    filler.flush();
    return lines;
}

void print_item(std::ostream &out, std::string_view label, std::size_t column, std::string_view text) {
    const std::vector<TextLine> lines = fill(text, kTerminalWidth - column);
    std::string lead = label.empty() ? std::string() : "  " + std::string(label);
    if (lines.empty() || lead.size() + 2 > column) {
        if (!lead.empty()) out << lead << '\n';
        lead.clear();
    }
    for (const TextLine &line : lines) {
        lead.resize(column, ' ');
        if (line.kind == TextLine::paragraph_break)
            out << '\n';
        else
            out << lead << line.text << '\n';
        lead.assign(column, ' ');
    }
}

std::string as_sentence(std::string_view text) {
    std::string sentence(text);
    if (sentence.empty()) return sentence;
    sentence.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence.front())));
    if (sentence.back() != '.') sentence += '.';
    return sentence;
}

std::vector<std::string> commented_lines(const std::vector<std::pair<std::string, std::string>> &lines) {
    // Comments line up unless one long line would push them all far right.
    constexpr std::size_t kWidestAligned = 44;
    std::size_t column = 0;
    for (const auto &[line, comment] : lines)
        if (!comment.empty() && line.size() <= kWidestAligned) column = std::max(column, line.size() + 2);
    std::vector<std::string> result;
    for (auto [line, comment] : lines) {
        if (!comment.empty()) {
            line.resize(std::max(column, line.size() + 2), ' ');
            line += "# " + comment;
        }
        result.push_back(line);
    }
    return result;
}
