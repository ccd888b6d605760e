/*
 * The grammar of the initialisation string, written once: driver options,
 * then an LDAP URL, with the bind name and the password in two extension
 * pieces after the fourth "?" of the whole string.  The driver's parser
 * walks it and acts on what it finds; veldir finds the password with it to
 * keep it off the screen, and reads the transport from it.
 *
 * It only measures: no allocation, no LDAP.  Whether a token is an LDAP URL
 * is asked of a predicate the caller passes (the driver passes the client
 * library's ldap_is_ldap_url); LooksLikeLdapUrl answers the same without the
 * library.  Positions are offsets into the caller's text, so a span found
 * in the driver's working copy marks the same characters in the string the
 * user wrote.
 */
#ifndef VELDLDAP_INIT_STRING_H
#define VELDLDAP_INIT_STRING_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace veldldap::init_string {

// The driver reads at most this many characters of the string.
inline constexpr std::size_t kWorkingLength = 512;

inline constexpr std::string_view kRetryPrefix = "retry=";
inline constexpr std::string_view kDelayPrefix = "delay=";
inline constexpr std::string_view kStartTlsPrefix = "starttls";
inline constexpr std::string_view kBindNamePrefix = "bindname=";

inline constexpr std::size_t npos = std::string_view::npos;

// Characters [begin, end) of a text.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;

    constexpr bool empty() const { return begin == end; }
    constexpr std::string_view of(std::string_view text) const { return text.substr(begin, end - begin); }
    constexpr bool operator==(const Span &) const = default;
};

// What the driver reads of `input`: its first kWorkingLength characters, and
// only up to a NUL among them.
constexpr std::string_view working_copy(std::string_view input) {
    input = input.substr(0, kWorkingLength);
    return input.substr(0, input.find('\0'));
}

constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

enum class TokenKind { url, retry, delay, starttls, other };

struct Token {
    TokenKind kind;
    Span span;  // in the text given to the Scanner
};

// The number of a "retry=" or "delay=" token: the digits right after "=", up
// to the first non-digit (the rest of the token is ignored).  Not valid when
// no digit follows "=".  Too many digits wrap, as the driver always did.
struct OptionValue {
    bool valid = false;
    std::int32_t number = 0;
};

constexpr OptionValue option_value(std::string_view token) {
    const std::size_t equals = token.find('=');
    if (equals == npos) return {};
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t at = equals + 1;
    if (at == token.size() || !is_digit(token[at])) return {};
    std::uint32_t number = 0;
    for (; at < token.size() && is_digit(token[at]); ++at)
        number = number * 10u + static_cast<std::uint32_t>(token[at] - '0');
    return {true, static_cast<std::int32_t>(number)};
}

// The options in front of the URL, one token at a time, so that a caller can
// stop at the first it refuses before anything after it is looked at.
// Tokens are separated by runs of spaces and tabs only; a leading blank
// gives an empty token.  The first token the predicate accepts is the URL;
// the URL runs to the end of the text, blanks included, so scanning ends
// there.  Options are recognised by how they begin, case-sensitively.
template <typename IsUrl>
class Scanner {
public:
    constexpr Scanner(std::string_view text, IsUrl is_url) : text_(text), is_url_(is_url) {}

    constexpr bool at_end() const { return at_ == text_.size() || met_url_; }

    // Only while !at_end().
    constexpr Token next() {
        std::size_t end = at_;
        while (end < text_.size() && !is_blank(text_[end])) ++end;
        const Span span{at_, end};
        at_ = end;
        while (at_ < text_.size() && is_blank(text_[at_])) ++at_;
        const std::string_view token = span.of(text_);
        if (is_url_(token)) {
            met_url_ = true;
            return {TokenKind::url, span};
        }
        if (token.starts_with(kRetryPrefix)) return {TokenKind::retry, span};
        if (token.starts_with(kDelayPrefix)) return {TokenKind::delay, span};
        if (token.starts_with(kStartTlsPrefix)) return {TokenKind::starttls, span};
        return {TokenKind::other, span};
    }

private:
    std::string_view text_;
    IsUrl is_url_;
    std::size_t at_ = 0;
    bool met_url_ = false;
};

// One line feed at the very end is dropped, after the options are read.
constexpr bool ends_in_line_feed(std::string_view copy) { return copy.ends_with('\n'); }

constexpr std::string_view without_line_feed(std::string_view copy) {
    return ends_in_line_feed(copy) ? copy.substr(0, copy.size() - 1) : copy;
}

// The extension pieces.  Everything after the fourth "?" of the whole text,
// options included, when anything follows it; the URL is cut at that "?".
// The rest splits at "?", a run of them counting as one and those at its
// start skipped: the first piece is the bind name, the second the password,
// any later piece is ignored.  A piece that is there is never empty.
struct Extensions {
    std::size_t separator = npos;  // the fourth "?", or npos: no extensions, the URL whole
    Span bind_name;
    Span password;
};

namespace detail {

constexpr Span piece_from(std::string_view text, std::size_t from) {
    const std::size_t begin = text.find_first_not_of('?', from);
    if (begin == npos) return {};
    return {begin, std::min(text.find('?', begin), text.size())};
}

// Where the driver ends a piece with a terminator: the "?" after it.
constexpr std::size_t cut_after(std::string_view text, const Span &piece) {
    return !piece.empty() && piece.end < text.size() ? piece.end : npos;
}

}  // namespace detail

// `text` is the working copy without its line feed.
constexpr Extensions split_extensions(std::string_view text) {
    std::size_t mark = npos;
    for (std::size_t found = 0, from = 0; found < 4; ++found, from = mark + 1) {
        mark = text.find('?', from);
        if (mark == npos) return {};
    }
    if (mark + 1 == text.size()) return {};
    Extensions extensions;
    extensions.separator = mark;
    extensions.bind_name = detail::piece_from(text, mark + 1);
    if (!extensions.bind_name.empty())
        extensions.password = detail::piece_from(text, extensions.bind_name.end);
    return extensions;
}

// The text the URL parser gets: from the URL's start to the first place
// where the driver ended a text in its copy (the separator, the "?" after
// either piece, the end).  With the fourth "?" inside an option, the URL
// lies in an extension piece and ends with it.
constexpr Span url_text(std::string_view text, std::size_t url_start, const Extensions &extensions) {
    const std::size_t begin = std::min(url_start, text.size());
    std::size_t end = text.size();
    for (std::size_t cut : {extensions.separator, detail::cut_after(text, extensions.bind_name),
                            detail::cut_after(text, extensions.password)})
        if (cut >= begin && cut < end) end = cut;
    return {begin, end};
}

// The whole string at a glance, for callers that only look: the options up
// to the URL are passed over whatever they are (the driver refuses some).
struct Layout {
    std::string_view copy;  // what the driver reads
    std::string_view text;  // the copy without its line feed; the spans below are in it
    bool has_url = false;
    Span url;               // what the URL parser gets (empty without a URL)
    Extensions extensions;
};

template <typename IsUrl>
constexpr Layout layout(std::string_view input, IsUrl is_url) {
    Layout result;
    result.copy = working_copy(input);
    result.text = without_line_feed(result.copy);
    result.extensions = split_extensions(result.text);
    Scanner scanner(result.copy, is_url);
    while (!scanner.at_end()) {
        const Token token = scanner.next();
        if (token.kind != TokenKind::url) continue;
        result.has_url = true;
        result.url = url_text(result.text, token.span.begin, result.extensions);
        break;
    }
    if (!result.has_url) result.url = {result.text.size(), result.text.size()};
    return result;
}

// The scheme, in lower case, of a token the OpenLDAP client library takes
// for an LDAP URL, or empty: an optional "<", an optional "URL:", then a
// scheme it knows followed by "://", all without regard to case.  (The
// library knows "cldap" too when built for connectionless LDAP, which the
// system's is not.)
constexpr std::string_view url_scheme(std::string_view token) {
    const auto starts_with_ignoring_case = [](std::string_view text, std::string_view lower) {
        if (text.size() < lower.size()) return false;
        for (std::size_t i = 0; i < lower.size(); ++i) {
            const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
            if (c != lower[i]) return false;
        }
        return true;
    };
    if (token.starts_with('<')) token.remove_prefix(1);
    if (starts_with_ignoring_case(token, "url:")) token.remove_prefix(4);
    for (std::string_view scheme : {"ldap", "pldap", "ldaps", "pldaps", "ldapi"})
        if (starts_with_ignoring_case(token, scheme) && token.substr(scheme.size()).starts_with("://"))
            return scheme;
    return {};
}

constexpr bool is_ldaps_scheme(std::string_view scheme) { return scheme == "ldaps" || scheme == "pldaps"; }

struct LooksLikeLdapUrl {
    constexpr bool operator()(std::string_view token) const { return !url_scheme(token).empty(); }
};

}  // namespace veldldap::init_string

#endif
