// GDD_LOG composes messages from pieces of their literal formats found at
// compile time and hands the rest (other conversions, null texts, long
// messages) to vsnprintf.  Either way the log must hold
// exactly what printf would have written behind the line prefix.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "comnblib.h"
#include "support/log_file.h"

namespace {

std::string printf_text(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string printf_text(const char *format, ...) {
    va_list args, measure;
    va_start(args, format);
    va_copy(measure, args);
    std::string text(static_cast<std::size_t>(std::vsnprintf(nullptr, 0, format, measure)), '\0');
    va_end(measure);
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

std::string logged_since(std::size_t before) { return log_text().substr(before); }

}  // namespace

// The expected text carries the source line of the expansion.
#define EXPECT_LOGGED_LIKE_PRINTF(format, ...)                                                 \
    do {                                                                                       \
        const std::string expected = printf_text("--(line %4i)--: " format, __LINE__ __VA_OPT__(, ) __VA_ARGS__); \
        const std::size_t before = log_text().size();                                          \
        GDD_LOG(format __VA_OPT__(, ) __VA_ARGS__);                                            \
        EXPECT_EQ(logged_since(before), expected) << format;                                   \
    } while (0)

TEST(LogFormatting, WritesWhatPrintfWritesBehindTheLinePrefix) {
    const std::string long_text(2000, 'l');
    const char *volatile no_text = nullptr;  // unknown to the compiler's format checks
    EXPECT_LOGGED_LIKE_PRINTF("plain\n");
    EXPECT_LOGGED_LIKE_PRINTF(" Attribute %s has %i values.\n", "velmorStatus", 1);
    EXPECT_LOGGED_LIKE_PRINTF("[%4i][%4d][%i][%d][%2i]", 7, -7, INT_MIN, INT_MAX, 12345);
    EXPECT_LOGGED_LIKE_PRINTF("[%.*s][%.*s][%.*s][%6s][%s]100%%", 3, "abcdef", -1, "abc", 9, "ab", "ab", "");
    EXPECT_LOGGED_LIKE_PRINTF("[%.2s][%-6s][%05i][%+d][%x][%c][%ld][%zu]", "abc", "ab", 42, 3, 255, 'q', 5L,
                              std::size_t{6});
    EXPECT_LOGGED_LIKE_PRINTF("[%s][%.*s]", no_text, 3, no_text);
    EXPECT_LOGGED_LIKE_PRINTF("%s|%s", long_text.c_str(), long_text.c_str());  // past the stack buffer
}

TEST(LogFormatting, LinesBeyondFourDigitsWidenThePrefix) {
#line 123456
    GDD_LOG("no newline");
    GDD_LOG("%s", "next");
    EXPECT_EQ(log_text(), "--(line 123456)--: no newline--(line 123457)--: next");
}
