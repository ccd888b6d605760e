/*
 * A small, strict JSON reader (RFC 8259).  parse_json reads a whole text
 * into a tree of JsonValue; JsonEntryReader reads an import file's entries
 * one at a time from a stream, so only one entry is ever held in memory.
 * Numbers keep their literal text, so integers are converted exactly by
 * whoever uses them.  Every value and every error knows its line and
 * column (in bytes, from 1).  Nesting is limited, so a hostile file cannot
 * exhaust the stack.
 */
#ifndef VELDIR_JSON_READER_H
#define VELDIR_JSON_READER_H

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct JsonValue {
    enum class Kind { null, boolean, number, string, array, object };
    Kind kind = Kind::null;
    bool boolean = false;
    std::string text;  // string contents, or a number's literal text
    std::vector<JsonValue> items;                            // array
    std::vector<std::pair<std::string, JsonValue>> members;  // object, in file order
    int line = 0;                                            // where the value begins
    int column = 0;

    const JsonValue *member(std::string_view name) const;
};

struct JsonError {
    int line = 0;
    int column = 0;
    std::string message;
};

// Parses a whole document; false and `error` when it is not valid JSON.
bool parse_json(std::string_view text, JsonValue &document, JsonError &error);

std::string_view json_kind_name(JsonValue::Kind kind);

class JsonParser;

// The entries of an import file: a bare array of entries, or an object
// whose "entries" member is that array (what "veldir --json search"
// prints; its members "count" and "incomplete" are passed over).
class JsonEntryReader {
public:
    explicit JsonEntryReader(std::istream &in);
    ~JsonEntryReader();
    JsonEntryReader(const JsonEntryReader &) = delete;
    JsonEntryReader &operator=(const JsonEntryReader &) = delete;

    // The next entry (any kind of value; the caller checks it).  False at
    // the end of the document, or when it is broken: error() then says
    // where and why, and nothing more is read.
    bool next(JsonValue &entry);
    std::optional<JsonError> error() const { return broken_ ? std::optional(parse_error_) : std::nullopt; }

    // Problems that do not stop the reading (unknown members around the
    // entries); taken by the caller as they come.
    std::vector<JsonError> take_problems() { return std::exchange(problems_, {}); }

private:
    enum class State { start, first_entry, next_entry, done };

    bool begin();
    bool finish();
    bool stop(bool ok);
    // A member of the listing object other than "entries": read and passed over.
    bool other_member(const std::string &name, int line, int column);

    JsonError parse_error_;
    bool broken_ = false;
    std::unique_ptr<JsonParser> parser_;
    State state_ = State::start;
    bool in_listing_ = false;  // inside {"count": ..., "entries": [...]}
    std::vector<JsonError> problems_;
};

#endif
