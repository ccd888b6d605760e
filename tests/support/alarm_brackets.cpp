#include "support/alarm_brackets.h"

#include <algorithm>
#include <set>

#include "host/test_host.h"

namespace {

// The calls that may block, each bracketed on its own.
const std::set<std::string> blocking = {"ldap_simple_bind", "ldap_result", "ldap_start_tls",
                                        "ldap_unbind_s", "ldap_search_st"};

}  // namespace

std::vector<std::string> trace_of(const std::vector<std::string> &calls) {
    std::vector<std::string> kept;
    for (const std::string &event : testhost::events())
        if (event == "halt" || event == "restart" ||
            std::find(calls.begin(), calls.end(), event) != calls.end())
            kept.push_back(event);
    return kept;
}

::testing::AssertionResult BracketsAlternate(const std::vector<std::string> &events) {
    bool halted = false;
    int calls_inside = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::string &event = events[i];
        auto fail = [&] {
            return ::testing::AssertionFailure() << "event " << i << " (" << event << ") out of place";
        };
        if (event == "halt") {
            if (halted) return fail();
            halted = true;
            calls_inside = 0;
        } else if (event == "restart") {
            if (!halted) return fail();
            halted = false;
        } else if (blocking.count(event) != 0) {
            if (!halted || ++calls_inside > 1) return fail();
        } else if (halted) {
            return fail();
        }
    }
    if (halted) return ::testing::AssertionFailure() << "the clock was left halted";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult InOrder(const std::vector<std::string> &messages,
                                   const std::vector<std::string> &expected) {
    auto at = messages.begin();
    for (const std::string &want : expected) {
        at = std::find(at, messages.end(), want);
        if (at == messages.end()) return ::testing::AssertionFailure() << "missing or out of order: " << want;
        ++at;
    }
    return ::testing::AssertionSuccess();
}
