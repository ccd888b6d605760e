/*
 * The --deadline on a steady clock, beside the alarm clock that enforces it.
 * The driver halts the alarm clock around its blocking LDAP calls, so the
 * alarm alone cannot bound a bind or a search: veldir gives each driver call
 * what remains of the deadline as the session's time limit, and the alarm
 * clock, restarted after such a call, counts from this clock too, so time
 * spent in a halted call is not given again.  What no time limit covers
 * (connecting, and an ldaps handshake inside the driver's bind request,
 * both with the alarm clock halted) a watchdog thread ends shortly after
 * the deadline.
 */
#ifndef VELDIR_DEADLINE_H
#define VELDIR_DEADLINE_H

#include <chrono>
#include <optional>

namespace deadline {

using Clock = std::chrono::steady_clock;

// From now; seconds <= 0 sets none.  `overrun` is called on a thread of its
// own when the process is still running kOverrunGrace after the deadline.
inline constexpr std::chrono::milliseconds kOverrunGrace{250};
void start(double seconds, void (*overrun)());

// What remains (negative once passed); nullopt without a deadline.
std::optional<Clock::duration> remaining();

bool passed();

// The time limit in whole seconds for one driver call: `configured` (0 or
// -1: none), lowered to what remains of the deadline, rounded up so that a
// wait never ends before the deadline, and never 0, which would mean none.
int step_time_limit(int configured);

}  // namespace deadline

#endif
