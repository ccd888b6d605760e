#include "log_watch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

namespace {

long file_size(const std::string &path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<long>(status.st_size) : 0;
}

}  // namespace

void LogWatch::start() { start_offset_ = file_size(path_); }

long LogWatch::messages() const {
    constexpr std::string_view kPrefix = "--(line ";
    FILE *file = std::fopen(path_.c_str(), "rb");
    if (file == nullptr) return 0;
    std::fseek(file, start_offset_, SEEK_SET);
    long count = 0;
    std::size_t matched = 0;  // prefixes may straddle two reads
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        for (std::size_t i = 0; i < n; ++i) {
            if (buffer[i] == kPrefix[matched]) {
                if (++matched == kPrefix.size()) {
                    ++count;
                    matched = 0;
                }
            } else {
                matched = buffer[i] == kPrefix[0] ? 1 : 0;
            }
        }
    }
    std::fclose(file);
    return count;
}

void LogWatch::discard() const {
    if (::truncate(path_.c_str(), 0) != 0) std::perror("emptying the driver log");
}
