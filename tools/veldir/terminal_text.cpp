#include "terminal_text.h"

#include <locale.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <utility>

namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // "…", one column

// veldir never calls setlocale, and the user's locale may not be UTF-8, but
// values are: the C library decodes and measures them in C.UTF-8, for this
// thread only.  Without that locale every byte past ASCII counts as invalid
// and is escaped, which is ugly but safe.
class Utf8Locale {
public:
    Utf8Locale() : previous_(::uselocale(shared())) {}
    ~Utf8Locale() { ::uselocale(previous_); }
    Utf8Locale(const Utf8Locale &) = delete;
    Utf8Locale &operator=(const Utf8Locale &) = delete;

private:
    static locale_t shared() {
        static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return utf8;
    }
    locale_t previous_;
};

// One character of UTF-8 text; `length` 0 for a byte that starts none.
struct Character {
    wchar_t code = 0;
    std::size_t length = 0;
};

Character next_character(std::string_view text) {
    std::mbstate_t state{};
    wchar_t code = 0;
    const std::size_t length = std::mbrtowc(&code, text.data(), text.size(), &state);
    if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) return {};
    return {code, length == 0 ? 1 : length};  // 0: the NUL character, one byte
}

bool is_control(wchar_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

std::string escape_of(wchar_t code) {
    static constexpr std::pair<wchar_t, const char *> kNamed[] = {
        {L'\a', "\\a"}, {L'\b', "\\b"}, {L'\t', "\\t"}, {L'\n', "\\n"},
        {L'\v', "\\v"}, {L'\f', "\\f"}, {L'\r', "\\r"}, {L'\x1B', "\\e"},
    };
    for (const auto &[named, text] : kNamed)
        if (code == named) return text;
    char text[8];
    std::snprintf(text, sizeof text, code <= 0x7F ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(code));
    return text;
}

std::string byte_escape(char byte) {
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02x", static_cast<unsigned char>(byte));
    return text;
}

int columns_of(wchar_t code) {
    const int width = ::wcwidth(code);
    return width < 0 ? 1 : width;  // unassigned: terminals draw a box
}

}  // namespace

std::string escape_controls(std::string_view text) {
    const Utf8Locale utf8;
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const Character character = next_character(text);
        if (character.length == 0) {
            out += byte_escape(text.front());
            text.remove_prefix(1);
            continue;
        }
        if (is_control(character.code)) out += escape_of(character.code);
        else out.append(text.substr(0, character.length));
        text.remove_prefix(character.length);
    }
    return out;
}

std::size_t display_width(std::string_view text) {
    const Utf8Locale utf8;
    std::size_t width = 0;
    while (!text.empty()) {
        const Character character = next_character(text);
        width += character.length == 0 ? 1 : static_cast<std::size_t>(columns_of(character.code));
        text.remove_prefix(std::max<std::size_t>(character.length, 1));
    }
    return width;
}

std::string cut_to_width(std::string_view text, std::size_t width) {
    if (display_width(text) <= width) return std::string(text);
    if (width == 0) return {};
    const Utf8Locale utf8;
    std::string out;
    std::size_t used = 0;
    while (!text.empty()) {
        const Character character = next_character(text);
        const std::size_t length = std::max<std::size_t>(character.length, 1);
        const std::size_t columns = character.length == 0 ? 1 : static_cast<std::size_t>(columns_of(character.code));
        if (used + columns > width - 1) break;
        out.append(text.substr(0, length));
        used += columns;
        text.remove_prefix(length);
    }
    return out.append(kEllipsis);
}

std::size_t screen_width(int fd) {
    if (::isatty(fd) == 0) return 0;
    winsize window{};
    if (::ioctl(fd, TIOCGWINSZ, &window) == 0 && window.ws_col > 0) return window.ws_col;
    // A terminal that does not know its size (a serial line): the shell may.
    const char *columns = std::getenv("COLUMNS");
    const long from_shell = columns != nullptr ? std::strtol(columns, nullptr, 10) : 0;
    return from_shell > 0 ? static_cast<std::size_t>(from_shell) : 80;
}
