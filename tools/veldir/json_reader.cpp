#include "json_reader.h"

#include <cstdint>

namespace {

constexpr int kMaxDepth = 64;

class Parser {
public:
    Parser(std::string_view text, JsonError &error) : text_(text), error_(error) {}

    bool document(JsonValue &out) {
        skip_blanks();
        if (!value(out, 0)) return false;
        skip_blanks();
        if (position_ != text_.size()) return fail("unexpected text after the end of the document");
        return true;
    }

private:
    bool fail(const std::string &message) {
        error_.line = line_;
        error_.column = static_cast<int>(position_ - line_start_) + 1;
        error_.message = message;
        return false;
    }

    bool at_end() const { return position_ >= text_.size(); }
    char peek() const { return at_end() ? '\0' : text_[position_]; }

    void skip_blanks() {
        while (!at_end()) {
            const char c = text_[position_];
            if (c == '\n') {
                ++line_;
                line_start_ = position_ + 1;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                return;
            }
            ++position_;
        }
    }

    bool literal(std::string_view word) {
        if (text_.substr(position_, word.size()) != word) return fail("unknown word; expected a JSON value");
        position_ += word.size();
        return true;
    }

    bool value(JsonValue &out, int depth) {
        if (depth > kMaxDepth) return fail("nesting deeper than 64 levels");
        out.line = line_;
        switch (peek()) {
        case '{': return object(out, depth);
        case '[': return array(out, depth);
        case '"': out.kind = JsonValue::Kind::string; return string(out.text);
        case 't': out.kind = JsonValue::Kind::boolean; out.boolean = true; return literal("true");
        case 'f': out.kind = JsonValue::Kind::boolean; return literal("false");
        case 'n': out.kind = JsonValue::Kind::null; return literal("null");
        case '\0':
            if (at_end()) return fail("the document ends where a value is expected");
            [[fallthrough]];
        default:
            if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return number(out);
            return fail(std::string("unexpected character '") + peek() + "'");
        }
    }

    bool object(JsonValue &out, int depth) {
        out.kind = JsonValue::Kind::object;
        ++position_;
        skip_blanks();
        if (peek() == '}') return ++position_, true;
        for (;;) {
            skip_blanks();
            if (peek() != '"') return fail("expected a quoted member name");
            std::string name;
            if (!string(name)) return false;
            skip_blanks();
            if (peek() != ':') return fail("expected ':' after the member name");
            ++position_;
            skip_blanks();
            JsonValue member;
            if (!value(member, depth + 1)) return false;
            out.members.emplace_back(std::move(name), std::move(member));
            skip_blanks();
            if (peek() == ',') { ++position_; continue; }
            if (peek() == '}') return ++position_, true;
            return fail("expected ',' or '}' in an object");
        }
    }

    bool array(JsonValue &out, int depth) {
        out.kind = JsonValue::Kind::array;
        ++position_;
        skip_blanks();
        if (peek() == ']') return ++position_, true;
        for (;;) {
            skip_blanks();
            JsonValue item;
            if (!value(item, depth + 1)) return false;
            out.items.push_back(std::move(item));
            skip_blanks();
            if (peek() == ',') { ++position_; continue; }
            if (peek() == ']') return ++position_, true;
            return fail("expected ',' or ']' in an array");
        }
    }

    bool digits() {
        const std::size_t start = position_;
        while (peek() >= '0' && peek() <= '9') ++position_;
        return position_ > start;
    }

    bool number(JsonValue &out) {
        out.kind = JsonValue::Kind::number;
        const std::size_t start = position_;
        if (peek() == '-') ++position_;
        if (peek() == '0') {
            ++position_;
        } else if (!digits()) {
            return fail("a number needs digits");
        }
        if (peek() == '.') {
            ++position_;
            if (!digits()) return fail("a fraction needs digits");
        }
        if (peek() == 'e' || peek() == 'E') {
            ++position_;
            if (peek() == '+' || peek() == '-') ++position_;
            if (!digits()) return fail("an exponent needs digits");
        }
        out.text.assign(text_.substr(start, position_ - start));
        return true;
    }

    bool hex4(std::uint32_t &code) {
        code = 0;
        for (int i = 0; i < 4; ++i, ++position_) {
            const char c = peek();
            code <<= 4;
            if (c >= '0' && c <= '9') code |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') code |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') code |= static_cast<std::uint32_t>(c - 'A' + 10);
            else return fail("\\u needs four hexadecimal digits");
        }
        return true;
    }

    static void append_utf8(std::string &out, std::uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool unicode_escape(std::string &out) {
        std::uint32_t code = 0;
        if (!hex4(code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return fail("a low surrogate without a high one");
        if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.substr(position_, 2) != "\\u") return fail("a high surrogate without a low one");
            position_ += 2;
            if (!hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return fail("a high surrogate without a low one");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(out, code);
        return true;
    }

    bool string(std::string &out) {
        ++position_;  // the opening quote
        for (;;) {
            if (at_end()) return fail("the text ends inside a string");
            const char c = text_[position_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return fail("a control character inside a string must be escaped");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char escape = peek();
            ++position_;
            switch (escape) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u':
                if (!unicode_escape(out)) return false;
                break;
            default:
                --position_;
                return fail("unknown escape in a string");
            }
        }
    }

    std::string_view text_;
    JsonError &error_;
    std::size_t position_ = 0;
    std::size_t line_start_ = 0;
    int line_ = 1;
};

}  // namespace

const JsonValue *JsonValue::member(std::string_view name) const {
    for (const auto &[member_name, value] : members)
        if (member_name == name) return &value;
    return nullptr;
}

bool parse_json(std::string_view text, JsonValue &document, JsonError &error) {
    return Parser(text, error).document(document);
}

std::string_view json_kind_name(JsonValue::Kind kind) {
    switch (kind) {
    case JsonValue::Kind::null: return "null";
    case JsonValue::Kind::boolean: return "a boolean";
    case JsonValue::Kind::number: return "a number";
    case JsonValue::Kind::string: return "a string";
    case JsonValue::Kind::array: return "an array";
    case JsonValue::Kind::object: return "an object";
    }
    return "a value";
}
