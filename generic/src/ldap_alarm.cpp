// The host's alarm-clock hooks, looked up by name in the host process and
// cached once found; while the host lacks one, each call looks again.
#include "ldap_alarm.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "comnblib.h"
#include "veldldap/dspublic.h"

namespace {

struct HostHook {
    const char *symbol;
    std::atomic<_clkfunc> cached{nullptr};
};

HostHook halt_func{"velmor_internal_halt_alarm_clock"};
HostHook restart_func{"velmor_internal_restart_alarm_clock"};

// Every thread that fills the cache stores the same address, so a plain
// atomic store is enough; no lock is needed.
_clkfunc find(HostHook &hook) {
    _clkfunc function = hook.cached.load(std::memory_order_acquire);
    if (function == nullptr) {
        void *self = dlopen(nullptr, RTLD_NOW);
        function = reinterpret_cast<_clkfunc>(self ? dlsym(self, hook.symbol) : nullptr);
        if (function != nullptr) hook.cached.store(function, std::memory_order_release);
    }
    return function;
}

}  // namespace

void gdd__stop_sigalrm(void) {
    if (_clkfunc halt = find(halt_func)) {
        GDD_LOG("EXECUTING velmor_internal_halt_alarm_clock\n");
        halt();
    } else {
        GDD_LOG("Not executing velmor_internal_halt_alarm_clock\n");
    }
}

void gdd__restore_sigalrm(void) {
    if (_clkfunc restart = find(restart_func)) {
        GDD_LOG("EXECUTING velmor_internal_restart_alarm_clock\n");
        restart();
    } else {
        GDD_LOG("Not executing velmor_internal_restart_alarm_clock\n");
    }
}

void gdd__retry_sleep(int seconds) {
    AlarmClockPause pause;
    timespec remaining{seconds, 0};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
