/*
 * A small, strict JSON reader (RFC 8259) for import files: the whole text
 * becomes a tree of JsonValue.  Numbers keep their literal text, so integers
 * are converted exactly by whoever uses them.  Errors name the line and
 * column.  Nesting is limited, so a hostile file cannot exhaust the stack.
 */
#ifndef VELDIR_JSON_READER_H
#define VELDIR_JSON_READER_H

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

#endif
