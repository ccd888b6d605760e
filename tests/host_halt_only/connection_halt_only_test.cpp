// A host that offers only the halt hook: the driver halts the clock around
// each blocking call and cannot restart it; it does not compensate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/test_host.h"
#include "support/alarm_brackets.h"
#include "support/log_file.h"
#include "support/session.h"
#include "support/standin.h"

TEST(AlarmClockHaltOnly, HaltsAreExecutedAndRestartsOnlyLogged) {
    Standin::use();
    testhost::clear_events();
    Session session("starttls ldap://127.0.0.1:389/o=acme");
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    const std::string halt = "EXECUTING velmor_internal_halt_alarm_clock\n";
    const std::string restart = "Not executing velmor_internal_restart_alarm_clock\n";
    EXPECT_EQ(log_count(halt), 4);
    EXPECT_EQ(log_count(restart), 4);
    EXPECT_EQ(log_messages_from("Calling LDAP_SIMPLE_BIND\n"),
              (std::vector<std::string>{"Calling LDAP_SIMPLE_BIND\n", halt, restart, halt, restart,
                                        "LDAP_SIMPLE_BIND succeeded\n"}));
    EXPECT_EQ(trace_of({}), std::vector<std::string>(4, "halt"));
}
