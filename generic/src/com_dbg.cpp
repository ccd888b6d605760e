// The diagnostic log.  Each message, prefix and text together, is appended
// with a single write(2) straight to the descriptor: concurrent threads never
// split a line, each message costs one system call, and the log is complete
// up to the last message even if the process dies right after it.
//
// GDD_LOG composes messages with literal formats itself (com_log_format.h)
// and only appends them here; formats held in variables, and what its
// composer leaves to printf, come to com__log_printf.
//
// The log holds the initialisation string, password included, and lives in
// the working directory, which others may be able to write.  So whatever
// already carries its name is written only if it is a regular file of the
// process's own user with no other name; a symbolic link, a FIFO, a device,
// a hard link or someone else's file leaves the process without a log.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "comnblib.h"

namespace {

constexpr const char *kLogFileName = "libveldldap.log";
constexpr int kNoLog = -1;

bool is_own_file_with_one_name(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
           status.st_nlink == 1;
}

bool clear_nonblocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// O_NOFOLLOW refuses a symbolic link and O_NONBLOCK keeps a FIFO from
// holding open() until someone reads it.  Nothing is truncated before the
// file is known to be ours; then it is made owner-only, as a file left by an
// earlier process may have had its mode widened since.
int open_log() {
    const int fd = ::open(kLogFileName,
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                          0600);
    if (fd < 0) return kNoLog;
    if (is_own_file_with_one_name(fd) && ::ftruncate(fd, 0) == 0 && ::fchmod(fd, 0600) == 0 &&
        clear_nonblocking(fd))
        return fd;
    ::close(fd);
    return kNoLog;
}

// Decided at the first message of the process and kept: without a log every
// message is dropped, as on a full disk.  Threads logging their first
// message at the same moment wait for the one open.  Inlined, every later
// message pays one test of the initialisation guard.
[[gnu::always_inline]] inline int log_descriptor() {
    static const int fd = open_log();
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

// Prefix and message measured, then formatted once into one buffer: the
// stack's when it fits.  The format attributes sit on the definitions only:
// the composer's callers pass formats it has already checked at their sites.
__attribute__((format(printf, 3, 0))) void append_formatted(int fd, int line, const char *format, va_list args) {
    char stack_buffer[1024];
    const int prefix_length = std::snprintf(stack_buffer, sizeof stack_buffer, "--(line %4i)--: ", line);
    va_list measure;
    va_copy(measure, args);
    const int text_length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (text_length < 0) return;
    const size_t total = static_cast<size_t>(prefix_length) + static_cast<size_t>(text_length);
    std::unique_ptr<char, decltype(&std::free)> heap_buffer(nullptr, &std::free);
    char *buffer = stack_buffer;
    if (total + 1 > sizeof stack_buffer) {
        heap_buffer.reset(static_cast<char *>(std::malloc(total + 1)));
        if (heap_buffer == nullptr) return;
        buffer = heap_buffer.get();
        std::memcpy(buffer, stack_buffer, static_cast<size_t>(prefix_length));
    }
    std::vsnprintf(buffer + prefix_length, static_cast<size_t>(text_length) + 1, format, args);
    write_all(fd, buffer, total);
}

}  // namespace

// errno is preserved by both: callers log between a failing call and its
// report.
void com__log_append(const char *text, size_t length) {
    const int saved_errno = errno;
    const int fd = log_descriptor();
    if (fd != kNoLog) write_all(fd, text, length);
    errno = saved_errno;
}

__attribute__((format(printf, 2, 3))) void com__log_printf(int line, const char *format, ...) {
    const int saved_errno = errno;
    const int fd = log_descriptor();
    if (fd != kNoLog) {
        va_list args;
        va_start(args, format);
        append_formatted(fd, line, format, args);
        va_end(args);
    }
    errno = saved_errno;
}
