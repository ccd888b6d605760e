// A host without alarm-clock hooks: the bind and unbind run the same calls,
// each blocking one between two "Not executing" lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_file.h"
#include "support/session.h"
#include "support/standin.h"

TEST(AlarmClockAbsent, BlockingCallsAreFramedByNotExecutingLines) {
    Standin &standin = Standin::use();
    Session session("ldap://127.0.0.1:389/o=acme");
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    ASSERT_EQ(session.unbind(), CS_SUCCEED);
    const std::string halt = "Not executing velmor_internal_halt_alarm_clock\n";
    const std::string restart = "Not executing velmor_internal_restart_alarm_clock\n";
    EXPECT_EQ(log_messages_from("Calling LDAP_SIMPLE_BIND\n"),
              (std::vector<std::string>{"Calling LDAP_SIMPLE_BIND\n", halt, restart, halt, restart,
                                        "LDAP_SIMPLE_BIND succeeded\n", "!gdd_unbind!\n", halt,
                                        restart}));
    EXPECT_EQ(standin.calls("ldap_simple_bind"), 1);
    EXPECT_EQ(standin.calls("ldap_unbind_s"), 1);
}
