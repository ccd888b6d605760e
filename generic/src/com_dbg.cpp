// The diagnostic log.  Each message, prefix and text together, is formatted
// into one buffer and appended with a single write(2): the bytes in the file
// are those of a prefix write followed by a text write, but concurrent
// threads can no longer split a line and each message costs one system call.
// Writing straight to the descriptor keeps the log complete up to the last
// message even if the process dies right after it.
//
// The log is always on and the decode path writes dozens of messages per
// entry, so formatting is on the driver's hot path.  GDD_LOG messages are
// composed by the code com_log_format.h generates for each format and only
// appended here; the printf-style entry points below format the same
// conversions in one pass and hand anything else to vsnprintf.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include "comnblib.h"

namespace {

constexpr const char *kLogFileName = "libveldldap.log";

std::atomic<int> log_fd{-1};
std::mutex log_open_mutex;

// Opens the log at most once per process, also when the first messages come
// from several threads at the same moment.  A failed open is retried by the
// next message.  Owner-only permissions: the log shows initialisation strings.
int log_descriptor() {
    int fd = log_fd.load(std::memory_order_acquire);
    if (fd >= 0) return fd;
    std::lock_guard<std::mutex> guard(log_open_mutex);
    fd = log_fd.load(std::memory_order_relaxed);
    if (fd < 0) {
        fd = ::open(kLogFileName, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) ::fchmod(fd, 0600);  // a file left by someone else keeps its mode otherwise
        log_fd.store(fd, std::memory_order_release);
    }
    return fd;
}

void write_all(int fd, const char *text, size_t length) {
    while (length > 0) {
        ssize_t written = ::write(fd, text, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;  // a full disk loses messages, never the host's call
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

// A fixed buffer that counts what would not fit, as vsnprintf does.
class MessageText {
public:
    MessageText(char *data, size_t capacity) : data_(data), capacity_(capacity) {}

    void append(const char *text, size_t count) {
        if (count == 0) return;  // empty pieces may come without a pointer
        if (length_ < capacity_) std::memcpy(data_ + length_, text, std::min(count, capacity_ - length_));
        length_ += count;
    }
    void pad(size_t count) {
        if (length_ < capacity_) std::memset(data_ + length_, ' ', std::min(count, capacity_ - length_));
        length_ += count;
    }
    bool fits() const { return length_ <= capacity_; }
    size_t length() const { return length_; }

private:
    char *data_;
    size_t capacity_;
    size_t length_ = 0;
};

// "%<width>i": right-aligned, blanks in front.
void append_integer(MessageText &out, int value, size_t width) {
    char digits[12];
    const char *first = com_log::integer_digits(value, digits);
    const size_t length = static_cast<size_t>(digits + sizeof digits - first);
    if (width > length) out.pad(width - length);
    out.append(first, length);
}

// Formats what the driver's messages use: %s with an optional width and
// precision (".N" or ".*"), %d and %i with an optional width, and %%.
// Returns false for anything else (flags, other conversions, a null text),
// which the caller then hands to vsnprintf.
bool format_simple(MessageText &out, const char *format, va_list args) {
    const char *at = format;
    while (*at != '\0') {
        const char *percent = std::strchr(at, '%');
        if (percent == nullptr) {
            out.append(at, std::strlen(at));
            return true;
        }
        out.append(at, static_cast<size_t>(percent - at));
        at = percent + 1;
        size_t width = 0;
        while (*at >= '0' && *at <= '9') {
            if (width == 0 && *at == '0') return false;  // the zero flag
            width = width * 10 + static_cast<size_t>(*at++ - '0');
        }
        int precision = -1;
        if (*at == '.') {
            ++at;
            if (*at == '*') {
                ++at;
                precision = va_arg(args, int);  // negative: as if none was given
            } else {
                for (precision = 0; *at >= '0' && *at <= '9'; ++at) precision = precision * 10 + (*at - '0');
            }
        }
        switch (*at++) {
        case '%':
            if (width != 0 || precision != -1) return false;
            out.append("%", 1);
            break;
        case 's': {
            const char *text = va_arg(args, const char *);
            if (text == nullptr) return false;
            const size_t length =
                precision < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(precision));
            if (width > length) out.pad(width - length);
            out.append(text, length);
            break;
        }
        case 'd':
        case 'i':
            if (precision != -1) return false;
            append_integer(out, va_arg(args, int), width);
            break;
        default:
            return false;
        }
    }
    return true;
}

// Formats prefix and message into one buffer and appends it.  errno is
// preserved: callers log between a failing call and its report.
void append_message(std::string_view prefix, const char *format, va_list args) {
    const int saved_errno = errno;
    const int fd = log_descriptor();
    if (fd < 0) {
        errno = saved_errno;
        return;
    }
    char stack_buffer[1024];
    MessageText text(stack_buffer, sizeof stack_buffer);
    text.append(prefix.data(), prefix.size());
    va_list attempt;
    va_copy(attempt, args);
    const bool simple = format_simple(text, format, attempt);
    va_end(attempt);
    if (simple && text.fits()) {
        write_all(fd, stack_buffer, text.length());
        errno = saved_errno;
        return;
    }

    // A long message or an unusual conversion: measure, then format once.
    va_list measure;
    va_copy(measure, args);
    const int text_length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (text_length >= 0) {
        const size_t total = prefix.size() + static_cast<size_t>(text_length);
        std::unique_ptr<char, decltype(&std::free)> heap_buffer(nullptr, &std::free);
        char *buffer = stack_buffer;
        if (total + 1 > sizeof stack_buffer) {
            heap_buffer.reset(static_cast<char *>(std::malloc(total + 1)));
            buffer = heap_buffer.get();
        }
        if (buffer != nullptr) {
            if (!prefix.empty()) std::memcpy(buffer, prefix.data(), prefix.size());
            std::vsnprintf(buffer + prefix.size(), static_cast<size_t>(text_length) + 1, format, args);
            write_all(fd, buffer, total);
        }
    }
    errno = saved_errno;
}

}  // namespace

void com__log_append(const char *text, size_t length) {
    const int saved_errno = errno;
    const int fd = log_descriptor();
    if (fd >= 0) write_all(fd, text, length);
    errno = saved_errno;
}

void dbg(const char *format, ...) {
    va_list args;
    va_start(args, format);
    append_message({}, format, args);
    va_end(args);
}

namespace {

// "--(line %4i)--: ", built in place for the source lines a file has.
void log_with_prefix(int line, const char *format, va_list args) {
    char prefix[32] = "--(line     )--: ";
    size_t prefix_length = sizeof "--(line     )--: " - 1;
    if (line >= 0 && line <= 9999) {
        unsigned rest = static_cast<unsigned>(line);
        char *digit = prefix + 11;
        do {
            *digit-- = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } while (rest != 0);
    } else {
        MessageText text(prefix, sizeof prefix);
        text.append("--(line ", 8);
        append_integer(text, line, 4);
        text.append(")--: ", 5);
        prefix_length = text.length();
    }
    append_message({prefix, prefix_length}, format, args);
}

}  // namespace

void com__log_line(int line, const char *format, ...) {
    va_list args;
    va_start(args, format);
    log_with_prefix(line, format, args);
    va_end(args);
}

void com__log_line_checked(int line, const char *format, ...) {
    va_list args;
    va_start(args, format);
    log_with_prefix(line, format, args);
    va_end(args);
}
