// veldir's mask of the initialisation string against the driver's own
// reading of it.  The input is the string, handed over with its exact length
// as veldir hands it.  What the driver takes as secret (the password piece,
// or a first piece it refuses as a bind name) is read from its log; it must
// be exactly the text that veldir hides.  Each hidden span is then replaced
// by a letter the string does not contain and the driver asked again: the
// secret it now reads must be that letter, which pins the span's place, not
// only its text.  Beyond the driver's 512 characters the driver says nothing;
// there a hidden span must still be a whole "?"-delimited piece.
//
// On the way, the grammar's own URL recognition is checked against the
// client library's for the string's first token.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_host.h"
#include "init_string_mask.h"
#include "ldap_drv.h"
#include "ldapprovider.h"

namespace {

namespace grammar = veldldap::init_string;

constexpr const char kLog[] = "libveldldap.log";

void require(bool condition) {
    if (!condition) std::abort();
}

std::size_t log_size() {
    struct stat status {};
    return ::stat(kLog, &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
}

std::string log_from(std::size_t offset) {
    std::ifstream file(kLog, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The log's messages without their "--(line %4i)--: " prefixes.
std::vector<std::string> messages(const std::string &log) {
    constexpr std::string_view kOpen = "--(line ", kClose = ")--: ";
    constexpr std::size_t kPrefixLength = 17;
    std::vector<std::size_t> starts;
    for (std::size_t at = log.find(kOpen); at != std::string::npos; at = log.find(kOpen, at + 1))
        if (log.compare(at + kPrefixLength - kClose.size(), kClose.size(), kClose) == 0) starts.push_back(at);
    std::vector<std::string> result;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : log.size();
        result.push_back(log.substr(starts[i] + kPrefixLength, end - starts[i] - kPrefixLength));
    }
    return result;
}

// The text of a message `name = "TEXT"\n`, or false.
bool quoted(const std::string &message, std::string_view name, std::string *text) {
    const std::string head = std::string(name) + " = \"";
    if (!message.starts_with(head) || !message.ends_with("\"\n")) return false;
    *text = message.substr(head.size(), message.size() - head.size() - 2);
    return true;
}

// What one gdd__parse_init_str said about the extension pieces.
struct Reading {
    bool reached = false;              // it got as far as the extensions
    bool refused = false;              // it refused the first piece as a bind name
    std::vector<std::string> secrets;  // that refused piece, or the password piece
};

Reading read_as_driver(std::string_view input) {
    const std::size_t before = log_size();
    auto text = fuzzhost::exact_copy(reinterpret_cast<const uint8_t *>(input.data()), input.size());
    auto handle = std::make_unique<DLDAP_HANDLE>();
    DCL_COMP comp{};
    Reading reading;
    reading.reached =
        gdd__parse_init_str(text.get(), static_cast<CS_INT>(input.size()), handle.get(), &comp) == CS_SUCCEED;
    const std::vector<std::string> said = messages(log_from(before));
    for (std::size_t i = 0; i < said.size(); ++i) {
        std::string piece;
        if (quoted(said[i], "ext1", &piece)) {
            reading.reached = true;
            reading.refused = i + 1 < said.size() && said[i + 1] == "Error: unrecognized extension\n";
            if (reading.refused) reading.secrets.push_back(piece);
        } else if (quoted(said[i], "ext2", &piece)) {
            reading.secrets.push_back(piece);
        }
    }
    return reading;
}

// What the driver reads of the string: 512 characters at most, up to a NUL,
// without one line feed at the end.
std::string_view driver_view(std::string_view input) {
    std::string_view copy = input.substr(0, 512);
    copy = copy.substr(0, copy.find('\0'));
    if (copy.ends_with('\n')) copy.remove_suffix(1);
    return copy;
}

void check_masked_text(std::string_view input, const std::vector<grammar::Span> &hidden) {
    std::string expected;
    std::size_t shown = 0;
    for (const grammar::Span &span : hidden) {
        require(span.begin >= shown && span.begin < span.end && span.end <= input.size());
        expected.append(input.substr(shown, span.begin - shown)).append("****");
        shown = span.end;
    }
    expected.append(input.substr(shown));
    require(masked_init_string(input) == expected);
}

// A whole piece: after a "?", up to a "?" or the end (before a line feed
// there), none inside.
void check_whole_piece(std::string_view input, const grammar::Span &span) {
    const std::size_t end = input.ends_with('\n') ? input.size() - 1 : input.size();
    require(span.begin > 0 && input[span.begin - 1] == '?');
    require(span.end == end || input[span.end] == '?');
    require(input.substr(span.begin, span.end - span.begin).find('?') == std::string_view::npos);
}

char absent_letter(std::string_view input) {
    for (char letter : std::string_view("QZXJKVWqzxjkvw"))
        if (input.find(letter) == std::string_view::npos) return letter;
    return '\0';
}

// The span's part within the driver's view, replaced by `letter`, must be
// what the driver now reads as secret, when it gets that far: as the refused
// first piece when `refused_piece`, else as the password.
void check_place(std::string_view input, std::size_t view_end, const grammar::Span &span, char letter,
                 bool refused_piece) {
    const std::size_t end = std::min(span.end, view_end);
    std::string marked(input);
    std::fill(marked.begin() + static_cast<std::ptrdiff_t>(span.begin),
              marked.begin() + static_cast<std::ptrdiff_t>(end), letter);
    const Reading reading = read_as_driver(marked);
    const std::string expected(end - span.begin, letter);
    if (refused_piece && reading.reached) require(reading.refused && reading.secrets.front() == expected);
    // Behind a refused first piece the driver never reaches the password.
    if (!refused_piece && reading.reached && !reading.refused)
        require(reading.secrets == std::vector<std::string>{expected});
}

void check_url_recognition(std::string_view input) {
    const std::string_view view = driver_view(input);
    const std::string token(view.substr(0, view.find_first_of(" \t")));
    const LDAPAPI_PROVIDER &provider = gdd__provider();
    const std::string_view scheme = grammar::url_scheme(token);
    require(!scheme.empty() == (provider.ldap_is_ldap_url(token.c_str()) == 1));
    require(grammar::is_ldaps_scheme(scheme) == (provider.ldap_is_ldaps_url(token.c_str()) == 1));
}

}  // namespace

void fuzzhost::run(const uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    // A string holding the log's own line prefix cannot be told apart in the log.
    if (input.find("--(line ") != std::string_view::npos) return;
    check_url_recognition(input);

    const std::vector<grammar::Span> hidden = hidden_spans(input);
    check_masked_text(input, hidden);

    const std::size_t view_end = driver_view(input).size();
    std::vector<std::string> hidden_in_view;
    for (const grammar::Span &span : hidden) {
        if (span.begin >= view_end || span.end > view_end) check_whole_piece(input, span);
        if (span.begin < view_end)
            hidden_in_view.emplace_back(input.substr(span.begin, std::min(span.end, view_end) - span.begin));
    }

    const Reading reading = read_as_driver(input);
    if (reading.reached && !reading.refused) require(hidden_in_view == reading.secrets);
    if (reading.refused) {
        // The password piece after a refused first piece is hidden unread.
        require(!hidden_in_view.empty() && hidden_in_view.front() == reading.secrets.front());
        require(hidden_in_view.size() <= 2);
    }

    if (const char letter = absent_letter(input)) {
        for (std::size_t i = 0; i < hidden_in_view.size(); ++i)
            check_place(input, view_end, hidden[i], letter, reading.refused && i == 0);
    }
}
