/*
 * Checks on the trace of the test host (halt/restart of the alarm clock and
 * the LDAP calls the stand-in records): every blocking call sits alone
 * between a halt and a restart, nothing else runs with the clock halted, and
 * halts and restarts alternate strictly.
 */
#ifndef VELDLDAP_ALARM_BRACKETS_H
#define VELDLDAP_ALARM_BRACKETS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The trace reduced to halts, restarts and the named calls.
std::vector<std::string> trace_of(const std::vector<std::string> &calls);

::testing::AssertionResult BracketsAlternate(const std::vector<std::string> &events);

// `expected` appears in `messages` in this order (other messages may lie between).
::testing::AssertionResult InOrder(const std::vector<std::string> &messages,
                                   const std::vector<std::string> &expected);

#endif
