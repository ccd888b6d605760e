// The text formats veldir reads and writes, checked directly.
#include <gtest/gtest.h>

#include <sstream>

#include "json_reader.h"
#include "json_writer.h"
#include "ldif.h"
#include "schema.h"

namespace {

TEST(VeldirFormats, JsonStringsAreEscapedAndInvalidUtf8Replaced) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {"\n\t\x01\x1f", "\"\\n\\t\\u0001\\u001f\""},
        {"\xC3\xA4\xF0\x9F\x98\x80", "\"\xC3\xA4\xF0\x9F\x98\x80\""},
        {"a\xFF" "b", "\"a\\ufffdb\""},
        {"\xC0\xAF", "\"\\ufffd\\ufffd\""},          // overlong
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // surrogate
        {"\xE2\x82", "\"\\ufffd\\ufffd\""},            // cut short
    };
    for (const auto &c : cases) EXPECT_EQ(json_quote(c.in), c.out) << c.in;
}

TEST(VeldirFormats, JsonReaderReadsWhatTheWriterWrites) {
    std::ostringstream text;
    {
        JsonWriter json(text);
        json.begin_object().key("s").value("a\"\n\xC3\xA4").key("n").value(-2147483647 - 1);
        json.key("list").begin_array().value(true).null().begin_object().end_object().end_array().end_object();
    }
    JsonValue document;
    JsonError error;
    ASSERT_TRUE(parse_json(text.str(), document, error)) << error.message;
    EXPECT_EQ(document.member("s")->text, "a\"\n\xC3\xA4");
    EXPECT_EQ(document.member("n")->text, "-2147483648");
    EXPECT_EQ(document.member("list")->items.size(), 3u);
    ASSERT_TRUE(parse_json("\"\\ud83d\\ude00\\u00e4\"", document, error));
    EXPECT_EQ(document.text, "\xF0\x9F\x98\x80\xC3\xA4");
}

TEST(VeldirFormats, JsonReaderRejectsMalformedDocumentsWithPosition) {
    const struct {
        std::string text;
        int line, column;
        std::string message;
    } cases[] = {
        {"", 1, 1, "ends where a value is expected"},
        {"[1,]", 1, 4, "unexpected character ']'"},
        {"{\"a\" 1}", 1, 6, "expected ':'"},
        {"[01]", 1, 3, "expected ',' or ']'"},
        {"\n\n  \"tab\there\"", 3, 8, "control character"},
        {"\"\\ud800\"", 1, 8, "high surrogate without a low one"},
        {"\"\\x\"", 1, 3, "unknown escape"},
        {"[1] 2", 1, 5, "after the end"},
        {"tru", 1, 1, "unknown word"},
        {std::string(100, '['), 1, 66, "deeper than 64"},
    };
    for (const auto &c : cases) {
        JsonValue document;
        JsonError error;
        EXPECT_FALSE(parse_json(c.text, document, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_EQ(error.column, c.column) << c.text;
        EXPECT_NE(error.message.find(c.message), std::string::npos) << c.text << ": " << error.message;
    }
}

TEST(VeldirFormats, LdifWriterOutputReadsBackUnchanged) {
    Entry entry;
    entry.dn = "velmorServername=\xC3\xA4,o=x";
    entry.attributes = {{"velmorService", DCL_SYNTAX_STRING, {" leading", "trailing ", ":colon", "<", "line\nbreak"}},
                        {"velmorJcourierProperty", DCL_SYNTAX_STRING, {std::string(200, 'x')}},
                        {"velmorVersion", DCL_SYNTAX_INTEGER, {"3"}}};
    std::ostringstream text;
    write_ldif_entry(text, entry);
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 76u);

    std::vector<LdifRecord> records;
    std::vector<LdifProblem> problems;
    parse_ldif(text.str(), records, problems);
    ASSERT_TRUE(problems.empty()) << problems.front().message;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].dn, entry.dn);
    std::vector<std::pair<std::string, std::string>> expected{{"objectClass", "velmorServer"}};
    for (const EntryAttribute &attribute : entry.attributes)
        for (const std::string &value : attribute.values) expected.emplace_back(attribute.name, value);
    EXPECT_EQ(records[0].attributes, expected);
}

TEST(VeldirFormats, TransportAddressText) {
    const struct {
        std::string text;
        bool valid;
        std::string type;
        int access;
        std::string address;
    } cases[] = {
        {"tcp#0#srvhost 5000", true, "tcp", 0, "srvhost 5000"},
        {"QRWINET#-3#h,1", true, "QRWINET", -3, "h,1"},
        {"ipx#+2#", true, "ipx", 2, ""},
        {"tcp#0", false, "", 0, ""},
        {"#0#h 1", false, "", 0, ""},
        {" tcp#0#h 1", false, "", 0, ""},
        {std::string(64, 't') + "#0#h", false, "", 0, ""},
        {"tcp# 1#h", false, "", 0, ""},
        {"tcp#0#" + std::string(512, 'a'), false, "", 0, ""},
    };
    for (const auto &c : cases) {
        std::string error;
        const std::optional<DCL_TRANADDR> address = parse_transport_address(c.text, error);
        ASSERT_EQ(address.has_value(), c.valid) << c.text;
        if (!c.valid) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_STREQ(address->dcl_trantype, c.type.c_str());
        EXPECT_EQ(address->dcl_accesstype, c.access);
        EXPECT_STREQ(address->dcl_tranaddress, c.address.c_str());
        EXPECT_EQ(parse_transport_address(format_transport_address(*address), error)->dcl_accesstype, c.access);
    }
}

}  // namespace
