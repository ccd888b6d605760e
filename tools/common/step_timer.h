/*
 * How long a step took, on the steady clock, in fractional milliseconds:
 * veldir's check and demo show it beside each step.
 */
#ifndef VELDLDAP_STEP_TIMER_H
#define VELDLDAP_STEP_TIMER_H

#include <chrono>

namespace veldldap {

class StepTimer {
public:
    double milliseconds() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace veldldap

#endif
