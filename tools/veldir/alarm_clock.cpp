#include "alarm_clock.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <mutex>

#include "deadline.h"
#include "exit_codes.h"

namespace alarm_clock {
namespace {

std::atomic<bool> g_passed{false};
// The children being watched (the demo's servers); 0: a free place.
std::atomic<pid_t> g_children[kMostChildren];
std::atomic<bool> g_watching{false};

extern "C" void on_deadline(int) {
    g_passed = true;
    if (g_watching) {
        for (std::atomic<pid_t> &child : g_children)
            if (const pid_t pid = child; pid > 0) ::kill(pid, SIGTERM);
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
    if (g_watching) return;
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

// The driver halts the clock around every blocking call, from every thread
// that holds a session (import --jobs): the timer stays stopped while any
// thread is inside one, and goes on with the time that remained when the
// last one comes out.  A thread's second halt without a restart changes
// nothing.
namespace {

std::mutex g_halt_mutex;
int g_threads_halted = 0;  // guarded by g_halt_mutex
thread_local bool t_halted = false;

}  // namespace

void halt() {
    if (t_halted) return;
    t_halted = true;
    const std::lock_guard lock(g_halt_mutex);
    if (g_threads_halted++ > 0) return;
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
}

// Re-armed with what remains on the steady clock, so that the time of the
// halted call counts; a deadline that passed meanwhile fires at once.
void restart() {
    if (!t_halted) return;
    t_halted = false;
    const std::lock_guard lock(g_halt_mutex);
    if (--g_threads_halted > 0) return;
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

void stop_children_on_deadline(std::span<const pid_t> children) {
    for (std::size_t i = 0; i < kMostChildren; ++i) g_children[i] = i < children.size() ? children[i] : 0;
    g_watching = true;
}

void forget_children() {
    g_watching = false;
    for (std::atomic<pid_t> &child : g_children) child = 0;
}

}  // namespace alarm_clock
