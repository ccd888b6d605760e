/*
 * A small streaming JSON writer for veldir's --json output: objects, arrays,
 * strings, numbers, booleans and null, indented by two blanks.  Strings are
 * escaped as JSON requires, control characters all of them; bytes that are
 * not valid UTF-8 become U+FFFD, so the output is always valid JSON whatever
 * the directory holds.
 */
#ifndef VELDIR_JSON_WRITER_H
#define VELDIR_JSON_WRITER_H

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
public:
    explicit JsonWriter(std::ostream &out) : out_(out) {}
    ~JsonWriter();  // ends the document with a line feed

    JsonWriter &begin_object();
    JsonWriter &end_object();
    JsonWriter &begin_array();
    JsonWriter &end_array();
    JsonWriter &key(std::string_view name);
    JsonWriter &value(std::string_view text);
    JsonWriter &value(const char *text) { return value(std::string_view(text)); }
    JsonWriter &value(std::int64_t number);
    JsonWriter &value(int number) { return value(static_cast<std::int64_t>(number)); }
    // A finite number, rounded to `decimals` places (milliseconds to the microsecond: 3).
    JsonWriter &value(double number, int decimals);
    JsonWriter &value(bool flag);
    JsonWriter &null();

private:
    void before_value();
    void close(char bracket);
    void newline();

    struct Level {
        bool is_object;
        bool empty = true;
    };
    std::ostream &out_;
    std::vector<Level> levels_;
    bool after_key_ = false;
    bool wrote_anything_ = false;
};

// The JSON text of a string, quotes included.
std::string json_quote(std::string_view text);

#endif
