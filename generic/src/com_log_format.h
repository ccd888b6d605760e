/*
 * The log's fast path.  A GDD_LOG format given as a string literal is taken
 * apart when the driver is compiled: the line prefix and the literal text
 * around each conversion become constant-length copies, and only the
 * arguments are measured at run time.  The decode path writes dozens of
 * messages per entry; this keeps composing a message far cheaper than its
 * one write(2).  Formats held in variables, conversions other than %s, %.*s,
 * %d and %i (with a width), null texts and messages longer than the stack
 * buffer take the printf path, com__log_printf.  printf's compile-time
 * checks still apply to every call.
 */
#ifndef VELDLDAP_COM_LOG_FORMAT_H
#define VELDLDAP_COM_LOG_FORMAT_H

#include <cstddef>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

/* Appends one finished message (prefix included) to the log. */
void com__log_append(const char *text, std::size_t length);
/* Never called: lets the compiler check the arguments against the format. */
int com__printf_check(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* Formats with vsnprintf and appends, behind the prefix of `line`; the format
   was checked at its GDD_LOG call site. */
void com__log_printf(int line, const char *format, ...);

namespace com_log {

// Writes the decimal digits of `value` at the end of `digits`; returns where
// they start.
inline const char *integer_digits(int value, char (&digits)[12]) {
    char *first = digits + sizeof digits;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--first = '-';
    return first;
}

template <std::size_t N>
struct Format {
    char text[N];
    consteval Format(const char (&literal)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = literal[i];
    }
};

enum class PieceKind { literal, text, bounded_text, integer };

struct Piece {
    PieceKind kind = PieceKind::literal;
    std::size_t begin = 0;     // literal: offset into `literals`
    std::size_t length = 0;    // literal: its length
    std::size_t width = 0;     // conversions: minimum width, blanks in front
    std::size_t argument = 0;  // conversions: index of the (first) argument
};

constexpr std::size_t kMaxPieces = 24;
constexpr std::size_t kPrefixLength = sizeof "--(line 1234)--: " - 1;

template <std::size_t N>
struct Parsed {
    bool simple = true;
    char literals[N + 32] = {};  // prefix and literal texts, one after another
    std::size_t literal_length = 0;
    Piece pieces[kMaxPieces] = {};
    std::size_t count = 0;
};

template <int Line, Format F>
consteval auto parse() {
    constexpr std::size_t N = sizeof F.text;
    Parsed<N> parsed;
    parsed.simple = Line >= 0 && Line <= 9999;  // four columns, as for every line the driver has
    const char prefix[] = "--(line     )--: ";
    for (std::size_t i = 0; i < kPrefixLength; ++i) parsed.literals[i] = prefix[i];
    for (int rest = Line, at = 11; at == 11 || rest != 0; rest /= 10, --at)
        parsed.literals[at] = static_cast<char>('0' + rest % 10);
    parsed.literal_length = kPrefixLength;

    Piece literal{PieceKind::literal, 0, kPrefixLength, 0, 0};
    std::size_t argument = 0;
    auto add = [&](const Piece &piece) {
        if (parsed.count == kMaxPieces) parsed.simple = false;
        else parsed.pieces[parsed.count++] = piece;
    };
    auto flush_literal = [&] {
        if (literal.length > 0) add(literal);
        literal = Piece{PieceKind::literal, parsed.literal_length, 0, 0, 0};
    };
    for (std::size_t at = 0; at + 1 < N && parsed.simple;) {
        const char c = F.text[at++];
        if (c != '%') {
            parsed.literals[parsed.literal_length++] = c;
            ++literal.length;
            continue;
        }
        if (F.text[at] == '%') {
            parsed.literals[parsed.literal_length++] = '%';
            ++literal.length;
            ++at;
            continue;
        }
        std::size_t width = 0;
        if (F.text[at] == '0') parsed.simple = false;  // the zero flag
        while (F.text[at] >= '0' && F.text[at] <= '9') width = width * 10 + static_cast<std::size_t>(F.text[at++] - '0');
        const bool bounded = F.text[at] == '.' && F.text[at + 1] == '*';
        if (bounded) at += 2;
        const char conversion = F.text[at++];
        flush_literal();
        if (conversion == 's') {
            add({bounded ? PieceKind::bounded_text : PieceKind::text, 0, 0, width, argument});
            argument += bounded ? 2 : 1;
        } else if ((conversion == 'd' || conversion == 'i') && !bounded) {
            add({PieceKind::integer, 0, 0, width, argument++});
        } else {
            parsed.simple = false;
        }
    }
    flush_literal();
    return parsed;
}

// The message under construction; counts what would not fit.
struct Composer {
    char *data;
    std::size_t capacity;
    std::size_t length = 0;

    void append(const char *text, std::size_t count) {
        if (length + count <= capacity) std::memcpy(data + length, text, count);
        length += count;
    }
    void pad(std::size_t count) {
        if (length + count <= capacity) std::memset(data + length, ' ', count);
        length += count;
    }
    void append_integer(int value, std::size_t width) {
        char digits[12];
        const char *first = integer_digits(value, digits);
        const auto count = static_cast<std::size_t>(digits + sizeof digits - first);
        if (width > count) pad(width - count);
        append(first, count);
    }
    // Returns false for a null text: printf's rendering of it is left to printf.
    // Any character pointer printf takes for %s is taken.
    template <typename Character>
    bool append_text(const Character *characters, std::size_t width, int precision) {
        static_assert(sizeof(Character) == 1);
        if (characters == nullptr) return false;
        const auto *text = reinterpret_cast<const char *>(characters);
        const std::size_t count =
            precision < 0 ? std::strlen(text) : strnlen(text, static_cast<std::size_t>(precision));
        if (width > count) pad(width - count);
        append(text, count);
        return true;
    }
};

template <int Line, Format F, typename... Args>
[[gnu::noinline]] void log_line(Args... args) {
    static constexpr auto parsed = parse<Line, F>();
    if constexpr (!parsed.simple) {
        com__log_printf(Line, F.text, args...);
    } else {
        char buffer[1024];
        Composer out{buffer, sizeof buffer};
        bool complete = true;
        const auto values = std::forward_as_tuple(args...);
        [&]<std::size_t... P>(std::index_sequence<P...>) {
            auto emit = [&]<std::size_t I>(std::integral_constant<std::size_t, I>) {
                constexpr Piece piece = parsed.pieces[I];
                if constexpr (piece.kind == PieceKind::literal) {
                    out.append(parsed.literals + piece.begin, piece.length);
                } else if constexpr (piece.kind == PieceKind::integer) {
                    out.append_integer(static_cast<int>(std::get<piece.argument>(values)), piece.width);
                } else if constexpr (piece.kind == PieceKind::text) {
                    complete &= out.append_text(std::get<piece.argument>(values), piece.width, -1);
                } else {
                    complete &= out.append_text(std::get<piece.argument + 1>(values), piece.width,
                                                static_cast<int>(std::get<piece.argument>(values)));
                }
            };
            (emit(std::integral_constant<std::size_t, P>{}), ...);
        }(std::make_index_sequence<parsed.count>{});
        if (complete && out.length <= out.capacity)
            com__log_append(buffer, out.length);
        else
            com__log_printf(Line, F.text, args...);
    }
}

// Hands `value` through unchanged, as an expression that depends on `Tag`:
// the literal-only branch of GDD_LOG's lambda is then compiled only where
// it is taken.
template <typename Tag, typename Value>
constexpr const Value &dependent(const Value &value) {
    return value;
}

// A literal format takes the composed path; a format held in a variable is
// formatted at run time.  `literal_format` yields the literal as a constant:
// the literal reaches the template only through it.
template <int Line, typename LiteralFormat, typename Text, typename... Args>
inline void log_site([[maybe_unused]] LiteralFormat literal_format, const Text &format, Args... args) {
    if constexpr (std::is_array_v<Text>) {
        constexpr auto literal = literal_format(std::true_type{});
        log_line<Line, literal>(args...);
    } else {
        com__log_printf(Line, format, args...);
    }
}

}  // namespace com_log

/* Every diagnostic of the driver goes through this, so that the prefix
   always carries the line of the call. */
#define GDD_LOG(format, ...)                                                              \
    (static_cast<void>(sizeof(com__printf_check(format __VA_OPT__(, ) __VA_ARGS__))), \
     ::com_log::log_site<__LINE__>(                                                       \
         [&](auto literal) {                                                              \
             if constexpr (decltype(literal)::value)                                      \
                 return ::com_log::Format(::com_log::dependent<decltype(literal)>(format)); \
             else                                                                         \
                 return 0;                                                                \
         },                                                                               \
         format __VA_OPT__(, ) __VA_ARGS__))

#endif
