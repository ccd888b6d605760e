#include "deadline.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace deadline {
namespace {

// Set once, before any thread or driver call; read from the signal-free paths only.
std::atomic<bool> g_set{false};
Clock::time_point g_end;

}  // namespace

void start(double seconds, void (*overrun)()) {
    if (seconds <= 0) return;
    g_end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    g_set = true;
    std::thread([overrun, end = g_end] {
        std::this_thread::sleep_until(end + kOverrunGrace);
        overrun();
    }).detach();
}

std::optional<Clock::duration> remaining() {
    if (!g_set) return std::nullopt;
    return g_end - Clock::now();
}

bool passed() {
    const std::optional<Clock::duration> left = remaining();
    return left && *left <= Clock::duration::zero();
}

int step_time_limit(int configured) {
    const std::optional<Clock::duration> left = remaining();
    if (!left) return configured;
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(*left).count();
    const int limit = static_cast<int>(std::clamp<decltype(seconds)>(seconds, 1, 1 << 30));
    return configured > 0 ? std::min(configured, limit) : limit;
}

}  // namespace deadline
