// Bind, StartTLS and unbind against the scripted client library: the
// failures a real server cannot produce on demand, each with its report,
// what stays in `ld`, the retry budget and the alarm-clock brackets.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/test_host.h"
#include "ldap_alarm.h"
#include "support/alarm_brackets.h"
#include "support/log_file.h"
#include "support/session.h"
#include "support/standin.h"

namespace {

constexpr char kUrl[] = "ldap://127.0.0.1:389/o=acme????bindname=cn=admin,o=acme?pw";

struct Script {
    const char *function;
    long result;
    int error_number = 0;
    int value = 0;
};

// One failing bind: what the library does, and what the host must see.
struct Row {
    const char *situation;
    const char *options;  // before the URL
    std::vector<Script> scripts;
    CS_INT provstatus;
    CS_INT oserr;
    bool session_kept;
    int retries_after;
    int bind_requests;
    std::vector<std::string> log;  // in this order, others between
};

Standin &fresh_standin() {
    Standin &standin = Standin::use();
    standin.reset();
    testhost::clear_events();
    return standin;
}

void run_failing_bind(const Row &row) {
    SCOPED_TRACE(row.situation);
    Standin &standin = fresh_standin();
    Session session(std::string(row.options) + kUrl, 7);
    ASSERT_EQ(session.opened_with, CS_SUCCEED);
    for (const Script &s : row.scripts) standin.script(s.function, s.result, s.error_number, s.value);
    const std::size_t logged = log_messages().size();

    EXPECT_EQ(session.bind(), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, row.provstatus, row.oserr));
    EXPECT_EQ(session.state().ld != nullptr, row.session_kept);
    EXPECT_EQ(session.state().cur.retrycount, row.retries_after);
    EXPECT_EQ(standin.calls("ldap_simple_bind"), row.bind_requests);
    EXPECT_TRUE(InOrder(log_messages_after(logged), row.log));
    EXPECT_TRUE(BracketsAlternate(testhost::events()));

    if (row.session_kept) {
        // The unbound session still counts as bound until the host unbinds.
        EXPECT_EQ(session.bind(), CS_SUCCEED);
        EXPECT_TRUE(log_contains("ALREADY BOUND!\n"));
        EXPECT_EQ(standin.calls("ldap_simple_bind"), row.bind_requests);
    }
    EXPECT_EQ(session.unbind(), CS_SUCCEED);
    EXPECT_EQ(standin.live_allocations(), 0) << "messages and response values are given back";
}

}  // namespace

TEST(BindStandin, EachFailureReportsItsCodeAndKeepsOrReleasesTheSession) {
    const std::string text = "Scripted result ";
    // The first three options of every bind are the CA file, the certificate
    // check and the new TLS context.
    const Script tls_option{"ldap_set_option", 0};
    const Row rows[] = {
        {"ldap_initialize refused", "", {{"ldap_initialize", -9}}, 9, -9, false, 0, 0,
         {"Getting a ldap session handle:\"127.0.0.1:389\"\n",
          "ldap_init failed: \"" + text + "-9\"(-9)\n"}},
        {"CA file option refused", "", {{"ldap_set_option", -1}, {"ldap_get_option", 0, 0, -12}},
         20, -12, true, 0, 0,
         {"LDAP_INITIALIZE succeeded\n", "Timeout set to 7 seconds\n", "Setting CA Certificate to \n",
          "ldap call failed: \"" + text + "-12\"(-12)\n"}},
        {"waiting for the answer failed, retries used up", "retry=2 ",
         {{"ldap_result", -1}, {"ldap_get_option", 0, 0, -1}, {"ldap_result", -1},
          {"ldap_get_option", 0, 0, -1}, {"ldap_result", -1}, {"ldap_get_option", 0, 0, -2}},
         17, -2, true, -1, 3,
         {"Retrying...(retries left: 1)\n", "Retrying...(retries left: 0)\n",
          "ldap_simple_bind failed: \"" + text + "-2\"(-2)\n"}},
        {"unparsable answer ends the bind although retries remain", "retry=2 ",
         {{"ldap_parse_result", -4}}, 18, -4, false, 1, 1,
         {"ldap_parse_result failed: \"" + text + "-4\"(-4)\n"}},
        {"refused while errno is EINTR, retried until used up", "retry=1 ",
         {{"ldap_parse_result", 0, EINTR, 49}, {"ldap_parse_result", 0, EINTR, 49}}, 5, EINTR, true,
         -1, 2,
         {"ldap_simple_bind failed: \"" + text + "49\"(49)\n", "Errno = 4\n",
          "(EINTR)... THIS SHOULD NOT HAPPEN \n", "Retrying...(retries left: 0)\n",
          "(EINTR)... THIS SHOULD NOT HAPPEN \n"}},
        {"second protocolError under version 3 is final", "retry=1 ",
         {{"ldap_parse_result", 0, 0, 2}, {"ldap_parse_result", 0, 0, 2}}, 10, 2, false, 1, 2,
         {"ldap_simple_bind failed: \"" + text + "2\"(2)\n",
          "Setting LDAP_OPT_PROTOCOL_VERSION to LDAP_VERSION3\n", "Calling LDAP_SIMPLE_BIND\n",
          "ldap_simple_bind failed: \"" + text + "2\"(2)\n", "Errno = 0\n"}},

        // StartTLS failures end the bind before any bind request.
        {"protocol version refused", "starttls ",
         {tls_option, tls_option, tls_option, {"ldap_set_option", -1}, {"ldap_get_option", 0, 0, -9}},
         20, -9, true, 0, 0, {"ldap call failed: \"" + text + "-9\"(-9)\n"}},
        {"request not sent", "starttls ", {{"ldap_start_tls", -11}, {"ldap_get_option", 0, 0, -11}},
         19, -11, true, 0, 0,
         {"Calling (async) LDAP_START_TLS\n", "ldap_start_tls failed: \"" + text + "-11\"(-11)\n"}},
        {"waiting failed", "starttls ", {{"ldap_result", -1}, {"ldap_get_option", 0, 0, -1}}, 17, -1,
         true, 0, 0, {"ldap_start_tls failed: \"" + text + "-1\"(-1)\n"}},
        {"a bind response arrived instead", "starttls ", {{"ldap_result", 0x61}}, 19, 0x61, true, 0,
         0, {"Unrecognized LDAP result code: (97)\n"}},
        {"extended response unparsable", "starttls ", {{"ldap_parse_extended_result", 84}}, 18, 84,
         true, 0, 0, {"LDAP_RESULT returned: LDAP_RES_EXTENDED\n",
                      "LDAP_PARSE_EXTENDED_RESULT returned error: 84\n"}},
        {"result of the response unparsable", "starttls ", {{"ldap_parse_result", -4}}, 18, -4, true,
         0, 0, {"LDAP_RESULT returned: LDAP_RES_EXTENDED\n"}},
        // What a server without TLS answers, and the budget is left alone.
        {"refused by the server", "starttls retry=2 ", {{"ldap_parse_result", 0, 0, 2}}, 18, 2, true, 2, 0,
         {"LDAP_RESULT returned: LDAP_RES_EXTENDED\n", "LDAP_PARSE_RESULT returned errorcode: 2\n"}},
    };
    for (const Row &row : rows) run_failing_bind(row);
}

TEST(BindStandin, UsedUpBudgetMakesNoAttemptAndLeavesNoSession) {
    Standin &standin = fresh_standin();
    Session session(kUrl, -1);
    standin.script("ldap_result", 0);
    ASSERT_EQ(session.bind(), CS_FAIL);
    EXPECT_TRUE(log_contains("Timeout set to infinite\n"));
    ASSERT_EQ(session.state().cur.retrycount, -1);
    ASSERT_EQ(session.unbind(), CS_SUCCEED);

    testhost::clear_events();
    EXPECT_EQ(session.bind(), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, 10, 0));
    EXPECT_EQ(session.state().ld, nullptr);
    EXPECT_EQ(session.state().cur.retrycount, -1);
    EXPECT_EQ(standin.calls("ldap_simple_bind"), 1);
    EXPECT_TRUE(log_contains("No retries left (-1): no bind attempted\n"));
    EXPECT_EQ(trace_of({"ldap_unbind_s"}), (std::vector<std::string>{"halt", "ldap_unbind_s", "restart"}));
}

TEST(UnbindStandin, ReleasesTheSessionEvenWhenTheLibraryReportsAnError) {
    Standin &standin = fresh_standin();
    Session session(kUrl);
    EXPECT_EQ(session.unbind(), CS_SUCCEED) << "never bound";
    EXPECT_EQ(standin.calls("ldap_unbind_s"), 0);
    ASSERT_EQ(session.bind(), CS_SUCCEED);

    standin.script("ldap_unbind_s", -1);
    EXPECT_EQ(session.unbind(), CS_FAIL);
    EXPECT_EQ(codes(session.comp), std::tuple(1, 11, -1));
    EXPECT_EQ(session.state().ld, nullptr);
    EXPECT_TRUE(log_contains("ldap_unbind_s failed: \"Scripted result -1\"(-1)\n"));

    const std::size_t logged = log_messages().size();
    EXPECT_EQ(session.unbind(), CS_SUCCEED);
    EXPECT_EQ(log_messages_after(logged), std::vector<std::string>{"!gdd_unbind!\n"});
    EXPECT_EQ(standin.calls("ldap_unbind_s"), 1);
    EXPECT_TRUE(BracketsAlternate(testhost::events()));
}

// ---- the brackets themselves ----

TEST(AlarmClock, PauseKeepsTheErrnoOfTheBracketedCall) {
    testhost::set_hook_errno(EBADF);
    with_alarm_clock_halted([] { errno = EINTR; });
    EXPECT_EQ(errno, EINTR);
}

TEST(AlarmClock, RetrySleepResumesAfterASignal) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigaction(SIGUSR1, &action, nullptr);  // no SA_RESTART: nanosleep ends with EINTR
    const pthread_t sleeper = pthread_self();
    std::thread interrupter([sleeper] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pthread_kill(sleeper, SIGUSR1);
    });
    testhost::clear_events();
    const auto start = std::chrono::steady_clock::now();
    gdd__retry_sleep(1);
    const auto slept = std::chrono::steady_clock::now() - start;
    interrupter.join();
    EXPECT_GE(slept, std::chrono::milliseconds(990));
    EXPECT_EQ(testhost::events(), (std::vector<std::string>{"halt", "restart"}));
}
