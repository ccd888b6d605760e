/*
 * veldir's alarm clock: the overall --deadline, driven by SIGALRM.  The
 * driver halts it around its blocking LDAP calls (through the exported host
 * functions) and restarts it with what remains of the deadline on a
 * steady clock (deadline.h), so the signal never falls into those calls and
 * their time still counts.  When the deadline passes outside them the
 * tool ends with kExitDeadline; child processes registered here (the demo's
 * server) are stopped first, and then the tool winds down on its own path.
 */
#ifndef VELDIR_ALARM_CLOCK_H
#define VELDIR_ALARM_CLOCK_H

#include <sys/types.h>

#include <cstddef>
#include <span>

namespace alarm_clock {

// Arms the deadline; seconds <= 0 leaves the clock off.
void start_deadline(double seconds);

// Stop the clock / re-arm it with what remains of the deadline.  A second
// halt without a restart changes nothing.  Safe from several threads: the
// clock runs only while none of them is halted.
void halt();
void restart();

bool deadline_passed();

// While children are registered the deadline stops them instead of ending
// the tool at once, so that the tool can still clean up behind them.  A new
// list replaces the one before; at most kMostChildren.
inline constexpr std::size_t kMostChildren = 8;
void stop_children_on_deadline(std::span<const pid_t> children);
void forget_children();

}  // namespace alarm_clock

#endif
