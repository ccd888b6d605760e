// The log formats its messages itself: GDD_LOG composes literal formats from
// pieces found at compile time, dbg and com__log_line format in one pass.
// Whatever they write must be exactly what printf would have written.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "comnblib.h"
#include "support/log_file.h"

namespace {

template <typename... Args>
void expect_like_printf(const char *format, Args... args) {
    const std::size_t before = log_text().size();
    dbg(format, args...);
    char expected[4096];
    std::snprintf(expected, sizeof expected, format, args...);
    EXPECT_EQ(log_text().substr(before), expected) << "format: " << format;
}

}  // namespace

// GDD_LOG and the expected text share the source line of the expansion.
#define EXPECT_GDD_LOG_LIKE_PRINTF(format, ...)                                                  \
    do {                                                                                         \
        const std::size_t before = log_text().size();                                           \
        GDD_LOG(format __VA_OPT__(, ) __VA_ARGS__);                                              \
        char expected[4096];                                                                     \
        std::snprintf(expected, sizeof expected, "--(line %4i)--: " format, __LINE__ __VA_OPT__(, ) __VA_ARGS__); \
        EXPECT_EQ(log_text().substr(before), expected) << "format: " << format;               \
    } while (0)

TEST(LogFormatting, GddLogWritesWhatPrintfWrites) {
    const std::string long_text(2000, 'l');
    const char *volatile no_text = nullptr;  // unknown to the compiler's format checks
    const char *const runtime_format = "runtime %s %i\n";
    EXPECT_GDD_LOG_LIKE_PRINTF("plain\n");
    EXPECT_GDD_LOG_LIKE_PRINTF(" Attribute %s has %i values.\n", "velmorStatus", 1);
    EXPECT_GDD_LOG_LIKE_PRINTF("[%4i][%4d][%i][%d]", 7, -7, INT_MIN, INT_MAX);
    EXPECT_GDD_LOG_LIKE_PRINTF("[%.*s][%.*s][%6s][%%]", 3, "abcdef", -1, "abc", "ab");
    EXPECT_GDD_LOG_LIKE_PRINTF("[%05i][%x][%c][%ld]", 42, 255, 'q', 5L);  // printf's own path
    EXPECT_GDD_LOG_LIKE_PRINTF("[%s]", no_text);
    EXPECT_GDD_LOG_LIKE_PRINTF("%s|%s", long_text.c_str(), long_text.c_str());  // past the buffer
    const std::size_t before = log_text().size();
    GDD_LOG(runtime_format, "x", 5);
    EXPECT_EQ(log_text().substr(before).substr(17), "runtime x 5\n");
}

TEST(LogFormatting, WritesWhatPrintfWrites) {
    expect_like_printf("plain %s and %i\n", "text", 42);
    expect_like_printf("[%4i][%4d][%i][%d]", 7, -7, INT_MIN, INT_MAX);
    expect_like_printf("[%4i][%2i]", 12345, 123);
    expect_like_printf("[%.*s][%.*s][%.*s]", 3, "abcdef", -1, "abc", 9, "ab");
    expect_like_printf("[%.2s][%6s][%-6s][%6.2s]", "abc", "ab", "ab", "abc");
    expect_like_printf("100%% [%s]", "");
    expect_like_printf("[%05i][%+d][%x][%c][%ld][%zu]", 42, 3, 255, 'q', 5L, std::size_t{6});
    expect_like_printf("[%s][%.3s]", static_cast<const char *>(nullptr), static_cast<const char *>(nullptr));
    expect_like_printf("%s|%s", std::string(1500, 'a').c_str(), std::string(900, 'b').c_str());
}

TEST(LogFormatting, PrefixCarriesTheLineRightAlignedInFourColumns) {
    com__log_line(7, "a\n");
    com__log_line(-3, "b %s\n", "log");
    com__log_line(123456, "no newline");
    EXPECT_EQ(log_text(), "--(line    7)--: a\n--(line   -3)--: b log\n--(line 123456)--: no newline");
}
