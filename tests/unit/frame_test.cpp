// The frame's shared services: the host records as C sees them, bounded
// copy and byte comparisons.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ldap_drv.h"
#include "support/log_file.h"

extern "C" int c_layout_checked(void);

TEST(HostRecords, CompiledAsCWithTheNaturalLayout) { EXPECT_EQ(c_layout_checked(), 1040); }

TEST(CopyString, CutsTooLongTextsAndWarnsOnlyThen) {
    struct Case {
        std::size_t input_length;
        CS_INT inlen;
        std::size_t expected_length;
        bool warns;
    };
    const Case cases[] = {
        {600, CS_NULLTERM, 512, true}, {512, CS_NULLTERM, 512, false},
        {513, CS_NULLTERM, 512, true}, {10, 3, 3, false},
        {0, CS_NULLTERM, 0, false},
    };
    for (const Case &c : cases) {
        const std::string input(c.input_length, 'x');
        char out[GDD_TEXT_SIZE];
        std::memset(out, '#', sizeof out);
        const int warnings_before = log_count("Result will be truncated!\n");
        gdd__copy_string(out, GDD_TEXT_SIZE, input.c_str(), c.inlen);
        EXPECT_EQ(std::strlen(out), c.expected_length) << c.input_length;
        EXPECT_EQ(out[GDD_TEXT_SIZE - 1], '\0');  // the rest is zero-filled
        EXPECT_EQ(log_count("Result will be truncated!\n") - warnings_before, c.warns ? 1 : 0);
    }
    EXPECT_TRUE(log_contains("WARNING! gdd__copy_string: outbuflen(513) is too small for inlen(600).\n"));
    char out[8];
    gdd__copy_string(out, sizeof out, "ab\0cd", 5);
    EXPECT_STREQ(out, "ab") << "stops at a terminator within the given length";
}

// Prefix comparisons are checked where the driver makes them (the
// initialisation string, distinguished names); the full comparison takes
// bytes as unsigned.
TEST(ByteComparison, IsUnsignedAndCaseSensitive) {
    EXPECT_EQ(com_unsignstrcmp("a", "b"), -1);
    EXPECT_EQ(com_unsignstrcmp("\xE9t\xE9", "ete"), 0xE9 - 'e');
    EXPECT_EQ(com_unsignstrcmp("Same", "Same"), 0);
    EXPECT_NE(com_unsignstrcmp("abc", "ABC"), 0);
}
