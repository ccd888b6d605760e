#include "json_reader.h"

#include <cstdint>
#include <streambuf>

namespace {

constexpr int kMaxDepth = 64;
constexpr int kEnd = std::char_traits<char>::eof();

// Reads a text in memory as a stream, without copying it.
class ViewBuffer : public std::streambuf {
public:
    explicit ViewBuffer(std::string_view text) {
        char *begin = const_cast<char *>(text.data());  // only ever read
        setg(begin, begin, begin + text.size());
    }
};

// The characters of the document with the line and column of the next one.
class Source {
public:
    explicit Source(std::streambuf &buffer) : buffer_(buffer) {}

    int peek() { return buffer_.sgetc(); }
    char get() {
        const int c = buffer_.sbumpc();
        if (c == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        return static_cast<char>(c);
    }
    bool at_end() { return peek() == kEnd; }
    int line() const { return line_; }
    int column() const { return column_; }

private:
    std::streambuf &buffer_;
    int line_ = 1;
    int column_ = 1;
};

}  // namespace

// The grammar; JsonEntryReader walks the outer levels of an import file with it.
class JsonParser {
public:
    JsonParser(std::streambuf &buffer, JsonError &error) : source_(buffer), error_(error) {}

    bool document(JsonValue &out) {
        skip_blanks();
        if (!value(out, 0)) return false;
        return end_of_document();
    }

    bool end_of_document() {
        skip_blanks();
        if (!source_.at_end()) return fail("unexpected text after the end of the document");
        return true;
    }

    bool fail(const std::string &message) { return fail_at(source_.line(), source_.column(), message); }
    bool fail_at(int line, int column, const std::string &message) {
        error_.line = line;
        error_.column = column;
        error_.message = message;
        return false;
    }

    int peek() { return source_.peek(); }
    void advance() { source_.get(); }
    int line() const { return source_.line(); }
    int column() const { return source_.column(); }

    void skip_blanks() {
        for (int c = peek(); c == ' ' || c == '\t' || c == '\r' || c == '\n'; c = peek()) advance();
    }

    bool value(JsonValue &out, int depth) {
        if (depth > kMaxDepth) return fail("nesting deeper than 64 levels");
        out.line = line();
        out.column = column();
        switch (peek()) {
        case '{': return object(out, depth);
        case '[': return array(out, depth);
        case '"': out.kind = JsonValue::Kind::string; return string(out.text);
        case 't': out.kind = JsonValue::Kind::boolean; out.boolean = true; return literal("true");
        case 'f': out.kind = JsonValue::Kind::boolean; return literal("false");
        case 'n': out.kind = JsonValue::Kind::null; return literal("null");
        case kEnd: return fail("the document ends where a value is expected");
        default:
            if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return number(out);
            return fail(std::string("unexpected character '") + static_cast<char>(peek()) + "'");
        }
    }

    // A quoted member name, the colon and the blanks around it.
    bool member_name(std::string &name) {
        skip_blanks();
        if (peek() != '"') return fail("expected a quoted member name");
        if (!string(name)) return false;
        skip_blanks();
        if (peek() != ':') return fail("expected ':' after the member name");
        advance();
        skip_blanks();
        return true;
    }

private:
    bool literal(std::string_view word) {
        const int start_line = line(), start_column = column();
        for (char expected : word) {
            if (peek() != static_cast<unsigned char>(expected))
                return fail_at(start_line, start_column, "unknown word; expected a JSON value");
            advance();
        }
        return true;
    }

    bool object(JsonValue &out, int depth) {
        out.kind = JsonValue::Kind::object;
        advance();
        skip_blanks();
        if (peek() == '}') return advance(), true;
        for (;;) {
            std::string name;
            if (!member_name(name)) return false;
            JsonValue member;
            if (!value(member, depth + 1)) return false;
            out.members.emplace_back(std::move(name), std::move(member));
            skip_blanks();
            if (peek() == ',') {
                advance();
                continue;
            }
            if (peek() == '}') return advance(), true;
            return fail("expected ',' or '}' in an object");
        }
    }

    bool array(JsonValue &out, int depth) {
        out.kind = JsonValue::Kind::array;
        advance();
        skip_blanks();
        if (peek() == ']') return advance(), true;
        for (;;) {
            skip_blanks();
            JsonValue item;
            if (!value(item, depth + 1)) return false;
            out.items.push_back(std::move(item));
            skip_blanks();
            if (peek() == ',') {
                advance();
                continue;
            }
            if (peek() == ']') return advance(), true;
            return fail("expected ',' or ']' in an array");
        }
    }

    bool digits(std::string &out) {
        bool any = false;
        while (peek() >= '0' && peek() <= '9') {
            out += source_.get();
            any = true;
        }
        return any;
    }

    bool number(JsonValue &out) {
        out.kind = JsonValue::Kind::number;
        if (peek() == '-') out.text += source_.get();
        if (peek() == '0') {
            out.text += source_.get();
        } else if (!digits(out.text)) {
            return fail("a number needs digits");
        }
        if (peek() == '.') {
            out.text += source_.get();
            if (!digits(out.text)) return fail("a fraction needs digits");
        }
        if (peek() == 'e' || peek() == 'E') {
            out.text += source_.get();
            if (peek() == '+' || peek() == '-') out.text += source_.get();
            if (!digits(out.text)) return fail("an exponent needs digits");
        }
        return true;
    }

    bool hex4(std::uint32_t &code) {
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = peek();
            code <<= 4;
            if (c >= '0' && c <= '9') code |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') code |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') code |= static_cast<std::uint32_t>(c - 'A' + 10);
            else return fail("\\u needs four hexadecimal digits");
            advance();
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
            if (peek() != '\\') return fail("a high surrogate without a low one");
            advance();
            if (peek() != 'u') return fail("a high surrogate without a low one");
            advance();
            if (!hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return fail("a high surrogate without a low one");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(out, code);
        return true;
    }

    bool escape(std::string &out) {
        static constexpr std::pair<char, char> kEscapes[] = {
            {'"', '"'}, {'\\', '\\'}, {'/', '/'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'}};
        const int c = peek();
        if (c == 'u') {
            advance();
            return unicode_escape(out);
        }
        for (const auto &[written, meant] : kEscapes) {
            if (c != static_cast<unsigned char>(written)) continue;
            advance();
            out += meant;
            return true;
        }
        return fail("unknown escape in a string");
    }

    bool string(std::string &out) {
        advance();  // the opening quote
        for (;;) {
            if (source_.at_end()) return fail("the text ends inside a string");
            const char c = source_.get();
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return fail("a control character inside a string must be escaped");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (!escape(out)) return false;
        }
    }

    Source source_;
    JsonError &error_;
};

const JsonValue *JsonValue::member(std::string_view name) const {
    for (const auto &[member_name, value] : members)
        if (member_name == name) return &value;
    return nullptr;
}

bool parse_json(std::string_view text, JsonValue &document, JsonError &error) {
    ViewBuffer buffer(text);
    return JsonParser(buffer, error).document(document);
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

namespace {

constexpr std::string_view kShape = "expected an array of entries, or an object with \"entries\": [...]";

}  // namespace

JsonEntryReader::JsonEntryReader(std::istream &in) : parser_(std::make_unique<JsonParser>(*in.rdbuf(), parse_error_)) {}

JsonEntryReader::~JsonEntryReader() = default;

bool JsonEntryReader::stop(bool ok) {
    broken_ = !ok;
    state_ = State::done;
    return false;
}

bool JsonEntryReader::other_member(const std::string &name, int line, int column) {
    // What a listing says besides its entries: how many, whether cut, and the server that served it.
    static constexpr std::string_view kPassedOver[] = {"count", "incomplete", "server"};
    bool known = false;
    for (std::string_view member : kPassedOver) known = known || member == name;
    if (name == "entries") problems_.push_back({line, column, "a second member \"entries\""});
    else if (!known) problems_.push_back({line, column, "unknown member \"" + name + "\" (expected \"entries\")"});
    JsonValue ignored;
    return parser_->value(ignored, 1);
}

// Up to the first entry (or the end of an empty array).
bool JsonEntryReader::begin() {
    JsonParser &parser = *parser_;
    parser.skip_blanks();
    const int line = parser.line(), column = parser.column();
    if (parser.peek() == '[') {
        parser.advance();
        return true;
    }
    if (parser.peek() != '{') return parser.fail(std::string(kShape));
    parser.advance();
    in_listing_ = true;
    for (parser.skip_blanks(); parser.peek() != '}';) {
        const int member_line = parser.line(), member_column = parser.column();
        std::string name;
        if (!parser.member_name(name)) return false;
        if (name == "entries") {
            if (parser.peek() != '[') return parser.fail("\"entries\" must be an array of entries");
            parser.advance();
            return true;
        }
        if (!other_member(name, member_line, member_column)) return false;
        parser.skip_blanks();
        if (parser.peek() == ',') {
            parser.advance();
            parser.skip_blanks();
        } else if (parser.peek() != '}') {
            return parser.fail("expected ',' or '}' in an object");
        }
    }
    return parser.fail_at(line, column, std::string(kShape));
}

// After the array of entries: the rest of the listing object, then nothing.
bool JsonEntryReader::finish() {
    JsonParser &parser = *parser_;
    if (in_listing_) {
        for (parser.skip_blanks(); parser.peek() == ',';) {
            parser.advance();
            parser.skip_blanks();
            const int line = parser.line(), column = parser.column();
            std::string name;
            if (!parser.member_name(name) || !other_member(name, line, column)) return false;
            parser.skip_blanks();
        }
        if (parser.peek() != '}') return parser.fail("expected ',' or '}' in an object");
        parser.advance();
    }
    return parser.end_of_document();
}

bool JsonEntryReader::next(JsonValue &entry) {
    JsonParser &parser = *parser_;
    if (state_ == State::start) {
        if (!begin()) return stop(false);
        state_ = State::first_entry;
    }
    if (state_ == State::done) return false;
    parser.skip_blanks();
    if (state_ == State::next_entry && parser.peek() == ',') {
        parser.advance();
        parser.skip_blanks();
    } else if (parser.peek() == ']') {
        parser.advance();
        return stop(finish());
    } else if (state_ == State::next_entry) {
        return stop(parser.fail("expected ',' or ']' in an array"));
    }
    entry = JsonValue{};
    if (!parser.value(entry, 1)) return stop(false);
    state_ = State::next_entry;
    return true;
}
