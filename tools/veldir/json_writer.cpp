#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "utf8.h"

namespace {

std::string unicode_escape(std::uint32_t code) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
    return escape;
}

}  // namespace

std::string json_quote(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text.front());
        std::size_t consumed = 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += unicode_escape(c);
            } else if (const std::size_t length = utf8_sequence_length(text); length > 0) {
                const std::uint32_t code = length == 2 ? ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[1]) & 0x3Fu) : c;
                // DEL and the C1 controls are valid JSON as they are, but would reach a terminal raw.
                if (code >= 0x7F && code <= 0x9F) out += unicode_escape(code);
                else out.append(text.substr(0, length));
                consumed = length;
            } else {
                out += "\\ufffd";
            }
        }
        text.remove_prefix(consumed);
    }
    return out + "\"";
}

JsonWriter::~JsonWriter() {
    if (wrote_anything_) out_ << '\n';
}

void JsonWriter::newline() {
    out_ << '\n';
    for (std::size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

void JsonWriter::before_value() {
    wrote_anything_ = true;
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) return;
    if (!levels_.back().empty) out_ << ',';
    levels_.back().empty = false;
    newline();
}

JsonWriter &JsonWriter::key(std::string_view name) {
    if (!levels_.back().empty) out_ << ',';
    levels_.back().empty = false;
    newline();
    out_ << json_quote(name) << ": ";
    after_key_ = true;
    return *this;
}

JsonWriter &JsonWriter::begin_object() {
    before_value();
    out_ << '{';
    levels_.push_back({true});
    return *this;
}

JsonWriter &JsonWriter::begin_array() {
    before_value();
    out_ << '[';
    levels_.push_back({false});
    return *this;
}

void JsonWriter::close(char bracket) {
    const bool was_empty = levels_.back().empty;
    levels_.pop_back();
    if (!was_empty) newline();
    out_ << bracket;
}

JsonWriter &JsonWriter::end_object() {
    close('}');
    return *this;
}

JsonWriter &JsonWriter::end_array() {
    close(']');
    return *this;
}

JsonWriter &JsonWriter::value(std::string_view text) {
    before_value();
    out_ << json_quote(text);
    return *this;
}

JsonWriter &JsonWriter::value(std::int64_t number) {
    before_value();
    out_ << number;
    return *this;
}

JsonWriter &JsonWriter::value(double number, int decimals) {
    before_value();
    const double scale = std::pow(10.0, decimals);
    char text[32];
    // The shortest text that reads back as the rounded number: 1.5, not 1.500.
    const auto written = std::to_chars(text, text + sizeof text, std::round(number * scale) / scale);
    out_ << std::string_view(text, static_cast<std::size_t>(written.ptr - text));
    return *this;
}

JsonWriter &JsonWriter::value(bool flag) {
    before_value();
    out_ << (flag ? "true" : "false");
    return *this;
}

JsonWriter &JsonWriter::null() {
    before_value();
    out_ << "null";
    return *this;
}
