/*
 * The demo's servers are stopped and their directories removed however the
 * demo ends.  While a guard lives, SIGINT (Ctrl-C), SIGTERM, SIGHUP and
 * SIGPIPE (the reader of "veldir demo | head" went away) are caught: the
 * first one is remembered and the servers being watched get SIGTERM, which
 * makes the call in progress fail, and the demo winds down on its normal
 * path, removing the directories, and ends with 128 + the signal's number.
 * The --deadline stops the watched servers the same way (alarm_clock.h).
 */
#ifndef VELDIR_DEMO_SIGNALS_H
#define VELDIR_DEMO_SIGNALS_H

#include <signal.h>
#include <sys/types.h>

#include <cstddef>
#include <vector>

#include "failure.h"

// Catches the signals for the demo's whole life, the servers' removal
// included, so it must outlive the servers' launchers.
class DemoSignals {
public:
    DemoSignals();
    ~DemoSignals();
    DemoSignals(const DemoSignals &) = delete;
    DemoSignals &operator=(const DemoSignals &) = delete;

    // The servers to stop on a signal or the deadline; replaces the list
    // before.  Set anew before a server is stopped and reaped, since its pid
    // may then be another process's.
    void watch(const std::vector<pid_t> &servers);
    void forget();

    // The first signal that arrived, or 0.
    static int arrived();
    // The failure of a demo a signal ended.
    static Failure interrupted();

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction previous_[std::size(kSignals)] {};
};

#endif
