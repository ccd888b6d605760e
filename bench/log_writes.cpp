#include "log_writes.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace {

std::atomic<int> dropped_descriptor{-1};

// The descriptor this process holds open on `path`, or -1.
int descriptor_of(const std::filesystem::path &path) {
    std::error_code error;
    const std::filesystem::path wanted = std::filesystem::weakly_canonical(path, error);
    if (error) return -1;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code unreadable;
        if (std::filesystem::read_symlink(entry.path(), unreadable) == wanted)
            return std::stoi(entry.path().filename().string());
    }
    return -1;
}

}  // namespace

DroppedLogWrites::DroppedLogWrites(const std::string &log_path) {
    const int descriptor = descriptor_of(log_path);
    active_ = descriptor >= 0;
    dropped_descriptor.store(descriptor, std::memory_order_relaxed);
}

DroppedLogWrites::~DroppedLogWrites() { dropped_descriptor.store(-1, std::memory_order_relaxed); }

// Replaces the C library's write(2) for the whole process, the driver included.
extern "C" ssize_t write(int descriptor, const void *data, size_t count) {
    const int dropped = dropped_descriptor.load(std::memory_order_relaxed);
    if (dropped >= 0 && descriptor == dropped) return static_cast<ssize_t>(count);
    return syscall(SYS_write, descriptor, data, count);
}
