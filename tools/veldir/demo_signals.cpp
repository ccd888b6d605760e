#include "demo_signals.h"

#include <string.h>

#include <atomic>
#include <string>

#include "alarm_clock.h"

namespace {

std::atomic<pid_t> g_servers[alarm_clock::kMostChildren];
std::atomic<int> g_signal{0};  // the first caught signal that arrived

// Stopping the servers makes the call in progress fail.  Once standard
// output is a closed pipe, writing fails quietly instead of killing the tool.
extern "C" void on_signal(int number) {
    int none = 0;
    g_signal.compare_exchange_strong(none, number);
    for (std::atomic<pid_t> &server : g_servers)
        if (const pid_t pid = server; pid > 0) ::kill(pid, SIGTERM);
}

}  // namespace

DemoSignals::DemoSignals() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &action, &previous_[i]);
}

DemoSignals::~DemoSignals() {
    forget();
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
}

void DemoSignals::watch(const std::vector<pid_t> &servers) {
    for (std::size_t i = 0; i < std::size(g_servers); ++i) g_servers[i] = i < servers.size() ? servers[i] : 0;
    alarm_clock::stop_children_on_deadline(servers);
}

void DemoSignals::forget() {
    for (std::atomic<pid_t> &server : g_servers) server = 0;
    alarm_clock::forget_children();
}

int DemoSignals::arrived() { return g_signal; }

Failure DemoSignals::interrupted() {
    const int number = g_signal;
    const char *name = ::sigabbrev_np(number);
    return tool_failure("demo", std::string("interrupted by SIG") + (name != nullptr ? name : "?"), "", 128 + number);
}
