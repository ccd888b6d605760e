// Servers that fail under the driver, through the real client library: a
// server stopped in the middle of a bound session and started again, one
// suspended so that nothing answers, and listeners that close every
// connection at once or answer with garbage.  Every failure must come back
// as its code, and the session must work again once the server does.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "step_timer.h"
#include "support/host_object.h"
#include "support/log_file.h"
#include "support/loopback_servers.h"
#include "support/server_suite.h"
#include "support/session.h"

namespace {

constexpr CS_INT kServerDown = -1;  // LDAP_SERVER_DOWN
constexpr CS_INT kTimedOut = -5;    // LDAP_TIMEOUT

// Every operation of a bound session, with the code it reports when the
// server has gone; each succeeds again once the server is back.
struct Operation {
    const char *name;
    std::function<CS_RETCODE(Session &)> run;
    CS_INT provstatus_when_down;
};

CS_RETCODE add_entry(Session &session) {
    HostObject entry;
    entry.text("velmorServername", DCL_SYNTAX_STRING, {"srv-new"});
    return session.add("srv-new", entry.object());
}

CS_RETCODE modify_entry(Session &session) {
    HostObject change;
    change.text("velmorService", DCL_SYNTAX_STRING, {"changed"});
    return session.modify("srv-new", change.object());
}

const Operation kOperations[] = {
    {"read", [](Session &s) { return s.read("srv1"); }, 12},
    {"search", [](Session &s) { return s.search(); }, 12},
    {"add", add_entry, 13},
    {"modify", modify_entry, 13},
    {"delete", [](Session &s) { return s.remove("srv-new"); }, 14},
};

DirectoryServerOptions with_srv1() {
    DirectoryServerOptions options;
    options.initial_ldif = DirectoryServer::server_entry("srv1");
    return options;
}

// The tests stop and suspend the suite's server; each leaves it running.
class ServerFaults : public ServerSuite {
protected:
    ServerFaults() : ServerSuite(with_srv1()) {}
    void TearDown() override {
        if (!veldldap::directory_server_installed(kind().flavour)) return;
        server().resume();
        server().start();
    }
};

}  // namespace

TEST_P(ServerFaults, StoppedServerFailsEveryOperationAndARebindAfterRestartRecovers) {
    Session session(as_admin("retry=0 "), 1);
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    ASSERT_EQ(session.read("srv1"), CS_SUCCEED);

    server().stop();
    for (const Operation &operation : kOperations) {
        SCOPED_TRACE(operation.name);
        EXPECT_EQ(operation.run(session), CS_FAIL);
        EXPECT_EQ(codes(session.comp), std::tuple(1, operation.provstatus_when_down, kServerDown));
    }

    server().stop();
    server().start();
    // The client library does not reconnect a session that lost its
    // connection: the host has to unbind and bind again.
    EXPECT_EQ(session.read("srv1"), CS_FAIL);
    EXPECT_EQ(session.comp.dcl_oserr, kServerDown);
    EXPECT_EQ(session.unbind(), CS_SUCCEED);
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    for (const Operation &operation : kOperations) {
        SCOPED_TRACE(operation.name);
        EXPECT_EQ(operation.run(session), CS_SUCCEED)
            << session.comp.dcl_provstatus << "/" << session.comp.dcl_oserr;
    }
}

// Suspended, the server still accepts but answers nothing: a read takes its
// retry after the first time-out and then fails, a search finds the budget
// spent and fails at the first; once resumed the same session reads again.
TEST_P(ServerFaults, SuspendedServerTimesOutReadsAndSearchesUntilResumed) {
    Session session(as_reader("retry=1 delay=0 "), 1);
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    ASSERT_EQ(session.state().cur.retrycount, 1);

    server().suspend();
    const veldldap::StepTimer read_timer;
    EXPECT_EQ(session.read("srv1"), CS_FAIL);
    EXPECT_GE(read_timer.milliseconds(), 1900) << "two searches of 1 s each";
    EXPECT_EQ(codes(session.comp), std::tuple(1, 16, kTimedOut));
    EXPECT_EQ(session.state().cur.retrycount, 0);

    const veldldap::StepTimer search_timer;
    EXPECT_EQ(session.search(), CS_FAIL);
    EXPECT_LT(search_timer.milliseconds(), 1900) << "no retry left";
    EXPECT_EQ(codes(session.comp), std::tuple(1, 16, kTimedOut));
    EXPECT_EQ(log_count("Search operation timed out.\n"), 2);
    EXPECT_EQ(log_count("(retries left: 0)\n"), 1);

    server().resume();
    session.properties().dsp_timelimit = 0;  // the server has a backlog to work through first
    ASSERT_EQ(session.read("srv1"), CS_SUCCEED);
    EXPECT_EQ(session.result()->dcl_numentries, 1);
}

// A listener that drops every connection, and one that answers bytes no
// LDAP message begins with.  The first attempt sends its request and loses
// the connection while waiting; the client library does not reconnect a
// session whose connection is gone, so every retry fails before sending and
// the last of them is the one reported.  Nothing waits for the time limit.
INSTANTIATE_FOR_EVERY_SERVER(ServerFaults);

TEST(BrokenListeners, ClosingAndGarbageServersSpendTheBudgetOnOneConnection) {
    const LoopbackBehaviour behaviours[] = {LoopbackBehaviour::closing, LoopbackBehaviour::garbage};
    for (const LoopbackBehaviour behaviour : behaviours) {
        SCOPED_TRACE(behaviour == LoopbackBehaviour::closing ? "closing" : "garbage");
        LoopbackServer listener(behaviour);
        Session session("retry=2 delay=0 " + listener.url() + "/o=acme", 1);
        const std::size_t logged = log_messages().size();
        const veldldap::StepTimer timer;
        EXPECT_EQ(session.bind(), CS_FAIL);
        EXPECT_LT(timer.milliseconds(), 900);
        EXPECT_EQ(codes(session.comp), std::tuple(1, 10, kServerDown)) << "the last request was not sent";
        EXPECT_EQ(listener.connections(), 1);
        EXPECT_EQ(session.state().cur.retrycount, -1);
        EXPECT_NE(session.state().ld, nullptr) << "kept until the host unbinds";
        const std::vector<std::string> messages = log_messages_after(logged);
        const std::string lost = "ldap_simple_bind failed: \"Can't contact LDAP server\"(-1)\n";
        EXPECT_EQ(std::count(messages.begin(), messages.end(), lost), 3);
        EXPECT_EQ(session.unbind(), CS_SUCCEED);
    }
}
