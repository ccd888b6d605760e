#include "alarm_clock.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>

#include "deadline.h"
#include "exit_codes.h"

namespace alarm_clock {
namespace {

std::atomic<bool> g_passed{false};
std::atomic<pid_t> g_child{0};
bool g_halted = false;

extern "C" void on_deadline(int) {
    g_passed = true;
    const pid_t child = g_child;
    if (child > 0) {
        ::kill(child, SIGTERM);
        return;
    }
    static const char message[] = "veldir: the deadline passed; stopped\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(kExitDeadline);
}

// The deadline's watchdog: a blocking call that no time limit bounds has
// outlived the deadline.  A child registered here is being stopped and the
// tool winds down on its own path.
void on_overrun() {
    if (g_child != 0) return;
    static const char message[] = "veldir: the deadline passed; stopped\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(kExitDeadline);
}

}  // namespace

void start_deadline(double seconds) {
    if (seconds <= 0) return;
    deadline::start(seconds, on_overrun);
    struct sigaction action {};
    action.sa_handler = on_deadline;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    itimerval timer{};
    timer.it_value.tv_sec = static_cast<time_t>(seconds);
    timer.it_value.tv_usec = static_cast<suseconds_t>(std::fmod(seconds, 1.0) * 1e6);
    ::setitimer(ITIMER_REAL, &timer, nullptr);
}

void halt() {
    if (g_halted) return;
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    g_halted = true;
}

// Re-armed with what remains on the steady clock, so that the time of the
// halted call counts; a deadline that passed meanwhile fires at once.
void restart() {
    if (!g_halted) return;
    g_halted = false;
    const std::optional<deadline::Clock::duration> left = deadline::remaining();
    if (!left) return;
    const auto microseconds = std::max<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(*left).count(), 1);
    itimerval timer{};
    timer.it_value.tv_sec = static_cast<time_t>(microseconds / 1000000);
    timer.it_value.tv_usec = static_cast<suseconds_t>(microseconds % 1000000);
    ::setitimer(ITIMER_REAL, &timer, nullptr);
}

bool deadline_passed() { return g_passed; }

void stop_child_on_deadline(pid_t child) { g_child = child; }
void forget_child() { g_child = 0; }

}  // namespace alarm_clock
