// The text formats veldir reads and writes, checked directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

#include "entry_filter.h"
#include "entry_names.h"
#include "json_reader.h"
#include "json_writer.h"
#include "ldif.h"
#include "ldif_reader.h"
#include "schema.h"
#include "table.h"
#include "terminal_text.h"

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
        {"\x7F\xC2\x9B[2J", "\"\\u007f\\u009b[2J\""},      // DEL and a C1 control (CSI)
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
    entry.attributes = {{"velmorService", DCL_SYNTAX_STRING,
                         {" leading", "trailing ", ":colon", "<", "line\nbreak", "\x1B]0;title\a", "del\x7F"}, {}},
                        {"velmorJcourierProperty", DCL_SYNTAX_STRING, {std::string(200, 'x')}, {}},
                        {"velmorAddress", DCL_SYNTAX_TRANADDR, {"tcp#0#h 1", "tcp#0#" + std::string(511, 'a')}, {1}}};
    std::ostringstream text;
    write_ldif_entry(text, entry);
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 76u);
        EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) { return c == 0x1B || c == 0x07 || c == 0x7F; }))
            << "control characters go in base64: " << line;
    }

    std::istringstream in("version: 1\n\n" + text.str() + text.str());
    LdifReader reader(in);
    for (int copy = 0; copy < 2; ++copy) {
        LdifRecord record;
        ASSERT_TRUE(reader.next(record));
        ASSERT_TRUE(record.problems.empty()) << record.problems.front().message;
        EXPECT_EQ(record.dn, entry.dn);
        std::vector<std::tuple<std::string, std::string, bool>> expected, read;
        for (const EntryAttribute &attribute : entry.attributes)
            for (std::size_t v = 0; v < attribute.values.size(); ++v)
                expected.emplace_back(attribute.name, attribute.values[v], attribute.is_cut(v));
        for (const LdifAttribute &attribute : record.attributes) read.emplace_back(attribute.name, attribute.value, attribute.cut);
        EXPECT_EQ(read, expected);
    }
    LdifRecord end;
    EXPECT_FALSE(reader.next(end));
}

TEST(VeldirFormats, NamesBecomeEscapedDnsAndReadBack) {
    const std::string base = "ou=servers,o=acme";
    const struct {
        std::string name;
        std::string dn;  // empty: refused
    } cases[] = {
        {"srv1", "velmorServername=srv1,ou=servers,o=acme"},
        {"com,ma", "velmorServername=com\\2Cma,ou=servers,o=acme"},
        {"child,velmorServername=srv2", "velmorServername=child\\2CvelmorServername\\3Dsrv2,ou=servers,o=acme"},
        {" both ", "velmorServername=\\20both\\20,ou=servers,o=acme"},
        {"#1+\"q\";<>\\", "velmorServername=\\231\\2B\\22q\\22\\3B\\3C\\3E\\5C,ou=servers,o=acme"},
        {"\xC3\xBC" "ber", "velmorServername=\xC3\xBC" "ber,ou=servers,o=acme"},
        {"velmorservername=srv9, OU=Servers,o=acme", "velmorServername=srv9,OU=Servers,o=acme"},
        {"VELMORSERVERNAME=com\\,ma,ou=servers,o=acme", "velmorServername=com\\2Cma,ou=servers,o=acme"},
        {"velmorServername=a+cn=b,o=acme", ""},
        {"velmorServername=,o=acme", ""},
        {"bad\xFFutf8", ""},
        {std::string(512 - base.size() - 18, 'n'), "velmorServername=" + std::string(512 - base.size() - 18, 'n') + "," + base},
        {std::string(512 - base.size() - 17, 'n'), ""},
    };
    for (const auto &c : cases) {
        std::string error;
        const std::optional<EntryName> name = entry_name(c.name, base, error);
        ASSERT_EQ(name.has_value(), !c.dn.empty()) << c.name << ": " << error;
        if (!name) continue;
        EXPECT_EQ(name->dn, c.dn);
        EXPECT_LE(name->dn.size(), kMaxDnBytes);
        EXPECT_EQ(relative_name_of(name->dn), name->value) << c.name;
        EXPECT_EQ(comparison_key(*name), comparison_key(*entry_name(name->dn, "o=elsewhere", error)));
    }
    std::string error;
    EXPECT_EQ(entry_name_from_dn("velmorServername=a\\2Cb,ou=old,o=acme", std::string("ou=new,o=acme"), error)->dn,
              "velmorServername=a\\2Cb,ou=new,o=acme");
    EXPECT_FALSE(entry_name_from_dn("cn=x,ou=servers,o=acme", std::nullopt, error));
    EXPECT_NE(error.find("is not a server entry"), std::string::npos) << error;
}

TEST(VeldirFormats, JsonEntryReaderStreamsTheEntriesOfAListing) {
    std::istringstream listing("{\"count\": 2, \"colour\": \"red\",\n \"entries\": [\n  {\"name\": \"a\"},\n  7],\n"
                               " \"incomplete\": true}\n");
    JsonEntryReader reader(listing);
    JsonValue entry;
    ASSERT_TRUE(reader.next(entry));
    EXPECT_EQ(entry.member("name")->text, "a");
    EXPECT_EQ(std::pair(entry.line, entry.column), std::pair(3, 3));
    ASSERT_TRUE(reader.next(entry));
    EXPECT_EQ(entry.kind, JsonValue::Kind::number);
    EXPECT_FALSE(reader.next(entry));
    EXPECT_FALSE(reader.error()) << reader.error()->message;
    const std::vector<JsonError> problems = reader.take_problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(std::tuple(problems[0].line, problems[0].column), std::tuple(1, 14));

    const struct {
        std::string text;
        int entries, line, column;
        std::string message;
    } broken[] = {
        {"[{\"name\": \"a\"}, {\"name\": ", 1, 1, 26, "ends where a value is expected"},
        {"[{}\n{}]", 1, 2, 1, "expected ',' or ']'"},
        {"{\"entries\": 5}", 0, 1, 13, "\"entries\" must be an array"},
        {"{\"count\": 0}", 0, 1, 1, "expected an array of entries"},
        {"\"text\"", 0, 1, 1, "expected an array of entries"},
        {"[] []", 0, 1, 4, "after the end of the document"},
    };
    for (const auto &c : broken) {
        std::istringstream in(c.text);
        JsonEntryReader broken_reader(in);
        int count = 0;
        while (broken_reader.next(entry)) ++count;
        EXPECT_EQ(count, c.entries) << c.text;
        ASSERT_TRUE(broken_reader.error()) << c.text;
        EXPECT_EQ(std::pair(broken_reader.error()->line, broken_reader.error()->column), std::pair(c.line, c.column))
            << c.text;
        EXPECT_NE(broken_reader.error()->message.find(c.message), std::string::npos) << broken_reader.error()->message;
    }
}

TEST(VeldirFormats, TransportAddressesAreCheckedAsTheDriverWritesThem) {
    // The driver writes TYPE#ACCESS#ADDRESS as one text of at most 512 bytes.
    const std::string longest = std::string(63, 't') + "#0#" + std::string(446, 'a');
    const std::pair<std::string, std::string> valid[] = {
        {"tcp#0#srvhost 5000", "tcp#0#srvhost 5000"}, {"QRWINET#-3#h,1", "QRWINET#-3#h,1"}, {"ipx#+2#", "ipx#2#"},
        {longest, longest}};
    for (const auto &[text, written] : valid) {
        std::string error;
        const std::optional<DCL_TRANADDR> address = parse_transport_address(text, error);
        ASSERT_TRUE(address) << text << ": " << error;
        EXPECT_EQ(format_transport_address(*address), written);
    }
    const std::string invalid[] = {"tcp#0",    "#0#h 1",    " tcp#0#h 1", std::string(64, 't') + "#0#h",
                                   "tcp# 1#h", "tcp#0#a#b", "tcp#0#" + std::string(512, 'a'), longest + "a"};
    for (const std::string &text : invalid) {
        std::string error;
        EXPECT_FALSE(parse_transport_address(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(VeldirFormats, TerminalTextEscapesControlsAndCountsColumns) {
    const struct {
        std::string in;
        std::string shown;
        std::size_t columns;
    } cases[] = {
        {"plain", "plain", 5},
        {"\x1B[31mred\x1B[0m", "\\e[31mred\\e[0m", 14},
        {"\x1B]0;title\a", "\\e]0;title\\a", 12},
        {"tab\tline\ncr\r", "tab\\tline\\ncr\\r", 15},
        {std::string("nul\0", 4) + "\x01\x7F", "nul\\x00\\x01\\x7f", 15},
        {"\xC2\x9B" "2J", "\\u009b2J", 8},                        // CSI as a C1 control
        {"bad\xFF\xC3", "bad\\xff\\xc3", 11},                    // not UTF-8, cut short
        {"cn=a\\,b \xC3\xA4", "cn=a\\,b \xC3\xA4", 9},          // backslashes and letters stay
        {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", 4},  // two wide characters
        {"e\xCC\x81", "e\xCC\x81", 1},                                // combining accent
    };
    for (const auto &c : cases) {
        EXPECT_EQ(escape_controls(c.in), c.shown) << c.in;
        EXPECT_EQ(display_width(c.shown), c.columns) << c.shown;
    }
    EXPECT_EQ(cut_to_width("abcdef", 4), "abc\xE2\x80\xA6");
    EXPECT_EQ(cut_to_width("abcd", 4), "abcd");
    EXPECT_EQ(cut_to_width("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 4), "\xE6\x97\xA5\xE2\x80\xA6");
    EXPECT_EQ(cut_to_width("abc", 0), "");
}

TEST(VeldirFormats, TableFitsTheWidthCuttingValuesThenLeavingOutColumns) {
    Table table({"name", "service", "address", "comment"});
    table.add_row({"alpha", "orders", "tcp#0#" + std::string(60, 'a') + " 5000", "short"});
    table.add_row({"beta\x1B[2J", "billing", "tcp#0#b 1", std::string(30, 'c')});
    const struct {
        std::size_t width;
        std::size_t left_out;
        bool values_whole;
    } cases[] = {{0, 0, true}, {200, 0, true}, {60, 0, false}, {28, 1, false}, {12, 3, false}, {3, 3, false}};
    for (const auto &c : cases) {
        table.fit_to(c.width);
        std::ostringstream out;
        EXPECT_EQ(table.print(out), c.left_out) << c.width;
        std::istringstream text(out.str());
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), 3u);
        for (const std::string &line : lines) {
            if (c.width > 0) {
                EXPECT_LE(display_width(line), c.width) << c.width << ": " << line;
            }
            EXPECT_EQ(line.find('\x1B'), std::string::npos) << line;
        }
        // Headers of the columns shown are never cut while they fit side by side.
        if (c.width >= 12) {
            EXPECT_EQ(lines.front().rfind("name", 0), 0u) << lines.front();
        }
        if (c.left_out == 0) {
            EXPECT_NE(lines.front().find("comment"), std::string::npos) << lines.front();
        }
        EXPECT_EQ(out.str().find(std::string(60, 'a')) != std::string::npos, c.values_whole) << c.width;
    }
}

TEST(VeldirFormats, SearchConditionsMatchValuesWithStarAndAnyLetterCase) {
    const std::vector<Entry> entries = {
        {"velmorServername=alpha,o=x", {{"velmorServername", DCL_SYNTAX_STRING, {"alpha"}, {}},
                                        {"velmorService", DCL_SYNTAX_STRING, {"Orders"}, {}},
                                        {"velmorStatus", DCL_SYNTAX_INTEGER, {"-1"}, {}}}},
        {"velmorServername=beta,o=x", {{"velmorServername", DCL_SYNTAX_STRING, {"beta"}, {}},
                                       {"velmorService", DCL_SYNTAX_STRING, {"bil?ing[1]"}, {}},
                                       {"velmorAddress", DCL_SYNTAX_TRANADDR, {"TCP#0#b 1", "tcp#1#b 2 ssl"}, {}}}},
        {"velmorServername=gamma,o=x", {}},  // named only by its DN
    };
    const struct {
        std::vector<std::string> conditions;
        std::string names;  // of the entries kept
    } cases[] = {
        {{}, "alpha beta gamma"},
        {{"velmorServername=a*"}, "alpha"},
        {{"VELMORSERVERNAME=*A*"}, "alpha beta gamma"},
        {{"velmorServername=gamma"}, "gamma"},
        {{"velmorService=orders"}, "alpha"},
        {{"velmorService=bil?ing[1]"}, "beta"},  // only "*" is special
        {{"velmorService=bilXing*"}, ""},
        {{"velmorAddress=tcp#1#*"}, "beta"},     // any of the values
        {{"velmorService=*", "velmorStatus=-1"}, "alpha"},
        {{"velmorStatus=*", "velmorAddress=*"}, ""},
    };
    for (const auto &c : cases) {
        EntryFilter filter;
        for (const std::string &condition : c.conditions) ASSERT_FALSE(filter.add(condition)) << condition;
        std::string names;
        for (const Entry &entry : filter.apply(entries)) names += (names.empty() ? "" : " ") + entry.server_name();
        EXPECT_EQ(names, c.names) << c.conditions.size();
    }
    EntryFilter filter;
    EXPECT_NE(filter.add("velmorColour=blue").value_or("").find("unknown attribute \"velmorColour\""), std::string::npos);
    EXPECT_NE(filter.add("alpha").value_or("").find("is not of the form attribute=value"), std::string::npos);
}

}  // namespace
