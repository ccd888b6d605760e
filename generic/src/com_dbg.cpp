// The diagnostic log.  Each message, prefix and text together, is formatted
// into one buffer and appended with a single write(2): the bytes in the file
// are those of a prefix write followed by a text write, but concurrent
// threads can no longer split a line and each message costs one system call.
// Writing straight to the descriptor keeps the log complete up to the last
// message even if the process dies right after it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

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

// Formats prefix (may be empty) and message into one buffer and appends it.
// errno is preserved: callers log between a failing call and its report.
void append_message(const char *prefix, int prefix_length, const char *format, va_list args) {
    const int saved_errno = errno;
    const int fd = log_descriptor();
    if (fd < 0) {
        errno = saved_errno;
        return;
    }
    char stack_buffer[1024];
    va_list measure;
    va_copy(measure, args);
    const int text_length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (text_length < 0) {
        errno = saved_errno;
        return;
    }
    const size_t total = static_cast<size_t>(prefix_length) + static_cast<size_t>(text_length);
    std::unique_ptr<char, decltype(&std::free)> heap_buffer(nullptr, &std::free);
    char *buffer = stack_buffer;
    if (total + 1 > sizeof stack_buffer) {
        heap_buffer.reset(static_cast<char *>(std::malloc(total + 1)));
        if (!heap_buffer) {
            errno = saved_errno;
            return;
        }
        buffer = heap_buffer.get();
    }
    std::memcpy(buffer, prefix, static_cast<size_t>(prefix_length));
    std::vsnprintf(buffer + prefix_length, static_cast<size_t>(text_length) + 1, format, args);
    write_all(fd, buffer, total);
    errno = saved_errno;
}

}  // namespace

void dbg(const char *format, ...) {
    va_list args;
    va_start(args, format);
    append_message("", 0, format, args);
    va_end(args);
}

void com__log_line(int line, const char *format, ...) {
    char prefix[32];
    const int prefix_length = std::snprintf(prefix, sizeof prefix, "--(line %4i)--: ", line);
    va_list args;
    va_start(args, format);
    append_message(prefix, prefix_length, format, args);
    va_end(args);
}
