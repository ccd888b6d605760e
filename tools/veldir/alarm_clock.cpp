#include "alarm_clock.h"

#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>

#include "exit_codes.h"

namespace alarm_clock {
namespace {

std::atomic<bool> g_passed{false};
std::atomic<pid_t> g_child{0};
bool g_halted = false;
itimerval g_saved{};

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

}  // namespace

void start_deadline(double seconds) {
    if (seconds <= 0) return;
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
    ::setitimer(ITIMER_REAL, &off, &g_saved);
    g_halted = true;
}

void restart() {
    if (!g_halted) return;
    g_halted = false;
    if (g_saved.it_value.tv_sec == 0 && g_saved.it_value.tv_usec == 0) return;
    ::setitimer(ITIMER_REAL, &g_saved, nullptr);
}

bool deadline_passed() { return g_passed; }

void stop_child_on_deadline(pid_t child) { g_child = child; }
void forget_child() { g_child = 0; }

}  // namespace alarm_clock
