#include "driver_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

#include "file_descriptor.h"
#include "init_string_mask.h"
#include "log_directory.h"

namespace driver_log {
namespace {

// What is read back at most: a failing call logs a few dozen lines, and a
// search that failed late may have logged many entries before.
constexpr std::size_t kTailBytes = 16 * 1024;

std::string hide_secrets(std::string line, const std::vector<std::string> &secrets) {
    for (const std::string &secret : secrets)
        for (std::size_t at = line.find(secret); at != std::string::npos; at = line.find(secret, at + 4))
            line.replace(at, secret.size(), "****");
    return line;
}

std::vector<std::string> secrets_of(std::string_view init) {
    std::vector<std::string> secrets;
    for (const veldldap::init_string::Span &span : hidden_spans(init))
        if (!span.empty()) secrets.emplace_back(span.of(init));
    return secrets;
}

}  // namespace

Mark mark() {
    const std::string file = log_directory::log_file();
    struct stat status {};
    if (file.empty() || ::stat(file.c_str(), &status) != 0) return 0;
    return static_cast<Mark>(status.st_size);
}

std::vector<std::string> lines_between(Mark since, Mark end, std::string_view init, std::size_t count) {
    const std::string file = log_directory::log_file();
    if (file.empty()) return {};
    const veldldap::FileDescriptor log(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (log.get() < 0 || ::fstat(log.get(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
    end = std::min(end, static_cast<Mark>(status.st_size));
    // The driver truncates a log it takes over, so a smaller file is a new one.
    if (since > end) since = 0;
    const Mark from = std::max<Mark>(since, end > kTailBytes ? end - kTailBytes : 0);
    std::string text(static_cast<std::size_t>(end - from), '\0');
    const ssize_t got = ::pread(log.get(), text.data(), text.size(), static_cast<off_t>(from));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::vector<std::string> secrets = secrets_of(init);
    std::deque<std::string> lines;
    // A tail that begins inside a line leaves that part out.
    std::size_t at = from > since ? std::min(text.find('\n'), text.size()) + 1 : 0;
    while (at < text.size()) {
        const std::size_t end_of_line = std::min(text.find('\n', at), text.size());
        lines.push_back(hide_secrets(text.substr(at, end_of_line - at), secrets));
        if (lines.size() > count) lines.pop_front();
        at = end_of_line + 1;
    }
    return {lines.begin(), lines.end()};
}

}  // namespace driver_log
