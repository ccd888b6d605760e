/*
 * Suspension of the host's alarm clock around blocking LDAP calls and retry
 * sleeps, so that the host's SIGALRM does not fall into them.  The host
 * offers the two hooks by name; a host without them is served all the same.
 * Use AlarmClockPause around exactly one blocking call: it cannot leave the
 * host's clock halted on any path.
 */
#ifndef VELDLDAP_LDAP_ALARM_H
#define VELDLDAP_LDAP_ALARM_H

#include <cerrno>

void gdd__stop_sigalrm(void);
void gdd__restore_sigalrm(void);

class AlarmClockPause {
public:
    AlarmClockPause() { gdd__stop_sigalrm(); }
    // The caller looks at errno of the blocking call (EINTR); neither the
    // host's hook nor the log line may change it.
    ~AlarmClockPause() {
        const int error_number = errno;
        gdd__restore_sigalrm();
        errno = error_number;
    }
    AlarmClockPause(const AlarmClockPause &) = delete;
    AlarmClockPause &operator=(const AlarmClockPause &) = delete;
};

// Runs one blocking call with the host's alarm clock halted around it.
template <typename Call>
auto with_alarm_clock_halted(Call &&call) {
    AlarmClockPause pause;
    return call();
}

// The retry delay: sleeps `seconds`, resuming after EINTR for what remains,
// with the host's alarm clock halted around the whole sleep.
void gdd__retry_sleep(int seconds);

#endif
