// Bind, StartTLS and unbind against every kind of throw-away server on
// 127.0.0.1 through the real OpenLDAP client library: accounts, TLS with the
// right and the wrong CA file, a server without TLS, and a listener that
// never answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "child_process.h"
#include "host/test_host.h"
#include "step_timer.h"
#include "support/alarm_brackets.h"
#include "support/loaded_driver.h"
#include "support/log_file.h"
#include "support/loopback_servers.h"
#include "support/server_suite.h"
#include "support/session.h"
#include "support/slapd_server.h"

namespace {

const std::string kCalling = "Calling LDAP_SIMPLE_BIND\n";
const std::string kProtocolError = "ldap_simple_bind failed: \"Protocol error\"(2)\n";
const std::string kVersion3 = "Setting LDAP_OPT_PROTOCOL_VERSION to LDAP_VERSION3\n";
const std::string kBound = "LDAP_SIMPLE_BIND succeeded\n";

// The messages of the protocol-version negotiation, in the order logged.
std::vector<std::string> version_steps(const std::vector<std::string> &messages) {
    std::vector<std::string> steps;
    for (const std::string &message : messages)
        if (message == kCalling || message == kProtocolError || message == kVersion3 || message == kBound)
            steps.push_back(message);
    return steps;
}

DirectoryServerOptions with_tls() {
    DirectoryServerOptions options;
    options.tls = true;
    return options;
}

class Connection : public ServerSuite {
protected:
    Connection() : ServerSuite(with_tls()) {}
    void SetUp() override {
        ServerSuite::SetUp();
        testhost::clear_events();
    }
    std::string ldaps_admin() {
        return "ldaps://127.0.0.1:" + std::to_string(server().ldaps_port()) + "/" + server().servers_base() +
               "????bindname=" + server().admin_dn() + "?" + server().admin_password();
    }
};

}  // namespace

// slapd refuses the driver's first bind, at protocol version 2, and the
// driver binds again at version 3 without spending a retry; 389 DS accepts
// version 2.  StartTLS asks for version 3 before it begins.
TEST_P(Connection, AccountsBindAtTheVersionTheServerAcceptsAndRebindAfterAnUnbind) {
    const std::vector<std::string> plain =
        kind().accepts_version2 ? std::vector<std::string>{kCalling, kBound}
                                : std::vector<std::string>{kCalling, kProtocolError, kVersion3, kCalling, kBound};
    const std::vector<std::string> starttls = {kVersion3, kCalling, kBound};
    const std::tuple<const char *, std::string, std::vector<std::string>> cases[] = {
        {"anonymous", init_string("retry=1 "), plain},
        {"administrator", as_admin("retry=1 "), plain},
        {"administrator on ldaps", "retry=1 " + ldaps_admin(), plain},
        {"reader after StartTLS", as_reader("starttls retry=1 "), starttls},
    };
    for (const auto &[account, init, steps] : cases) {
        SCOPED_TRACE(account);
        const std::size_t logged = log_messages().size();
        Session session(init, 5, server().ca_file());
        ASSERT_EQ(session.bind(), CS_SUCCEED) << session.comp.dcl_provstatus << "/" << session.comp.dcl_oserr;
        EXPECT_EQ(session.comp.dcl_status, -11) << "success leaves the record alone";
        EXPECT_EQ(session.state().cur.retrycount, 1) << "no retry spent";
        EXPECT_EQ(version_steps(log_messages_after(logged)), steps);
        ASSERT_EQ(session.read("nobody"), CS_FAIL) << "the session works at that version";
        EXPECT_EQ(session.comp.dcl_provstatus, DLDAP_ERR_NOENTRY);
        // Unbinding twice is harmless; a new bind starts afresh.
        EXPECT_EQ(session.unbind(), CS_SUCCEED);
        EXPECT_EQ(session.unbind(), CS_SUCCEED);
        EXPECT_EQ(session.state().ld, nullptr);
        EXPECT_EQ(session.bind(), CS_SUCCEED);
        EXPECT_NE(session.state().ld, nullptr);
    }
    EXPECT_EQ(log_count("Not yet bound. (Good)\n"), 8);
    EXPECT_FALSE(log_contains("ALREADY BOUND!\n"));
    EXPECT_FALSE(log_contains("Sleeping for 0 seconds.\n"));
    EXPECT_TRUE(BracketsAlternate(testhost::events()));
}

TEST_P(Connection, RefusedBindsAreFinalAndReleaseTheSession) {
    struct Case {
        const char *situation;
        std::string dn, password;
        CS_INT oserr;
        std::string logged;
    };
    const Case cases[] = {
        {"wrong password", server().admin_dn(), "not-the-password", 49, "Errno = 0\n"},
        // A DN without a password is an unauthenticated bind, which both servers refuse with a text.
        {"DN without password", server().admin_dn(), "", 53,
         kind().flavour == veldldap::DirectoryFlavour::ds389
             ? "additional error info: \"Unauthenticated binds are not allowed\"\n"
             : "additional error info: \"unauthenticated bind (DN with no password) disallowed\"\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.situation);
        Session session(init_string("retry=2 delay=1 "), 5);
        DCL_COMP comp{};
        ASSERT_EQ(driver().props(session.handle(), DCL_ACTION_SET, DCL_PROP_BINDDN,
                                 const_cast<char *>(c.dn.c_str()), CS_NULLTERM, nullptr, &comp),
                  CS_SUCCEED);
        ASSERT_EQ(driver().props(session.handle(), DCL_ACTION_SET, DCL_PROP_PASSWORD,
                                 const_cast<char *>(c.password.c_str()), CS_NULLTERM, nullptr, &comp),
                  CS_SUCCEED);
        const veldldap::StepTimer timer;
        EXPECT_EQ(session.bind(), CS_FAIL);
        EXPECT_LT(timer.milliseconds(), 900) << "no retry, no sleep";
        EXPECT_EQ(codes(session.comp), std::tuple(1, 10, c.oserr));
        EXPECT_EQ(session.state().ld, nullptr);
        EXPECT_EQ(session.state().cur.retrycount, 2);
        EXPECT_TRUE(log_contains(c.logged));
    }
}

// The CA file of the host's properties at each bind counts, even after the
// library has built its TLS context for an earlier one: right then wrong,
// wrong then right, and an unreadable file, which only the handshake
// refuses.  A failed handshake leaves the session in `ld`: after StartTLS it
// is refused as such (19); on an ldaps:// URL it happens while the bind
// request is sent (10).  The next bind would answer "ALREADY BOUND!" over
// the unprotected connection, so a host unbinds after a failed bind too.
TEST_P(Connection, EachBindUsesTheCaFileItIsGiven) {
    const std::string unreadable = "/nonexistent/ca.pem";
    Session starttls(as_admin("starttls "), 5), ldaps(ldaps_admin(), 5);
    const std::string &right = server().ca_file(), &wrong = server().wrong_ca_file();
    const std::tuple<Session *, std::string, CS_INT, CS_INT> binds[] = {  // code 0: success
        {&starttls, right, 0, 0}, {&starttls, wrong, 19, -11}, {&starttls, right, 0, 0},
        {&starttls, unreadable, 19, -11}, {&ldaps, right, 0, 0}, {&ldaps, wrong, 10, -1}, {&starttls, right, 0, 0}};
    for (const auto &[session, ca, provstatus, oserr] : binds) {
        SCOPED_TRACE((session == &ldaps ? "ldaps " : "starttls ") + ca);
        std::snprintf(session->properties().dsp_tls_ca, sizeof session->properties().dsp_tls_ca, "%s", ca.c_str());
        EXPECT_EQ(session->bind(), provstatus == 0 ? CS_SUCCEED : CS_FAIL);
        if (provstatus != 0) {
            EXPECT_EQ(codes(session->comp), std::tuple(1, provstatus, oserr));
            EXPECT_NE(session->state().ld, nullptr) << "the unprotected session stays";
        }
        EXPECT_EQ(session->unbind(), CS_SUCCEED);
    }
    EXPECT_TRUE(log_contains("No TLS context for CA Certificate " + unreadable +
                             " (-1): a TLS handshake will fail\n"));
    EXPECT_FALSE(log_contains("ALREADY BOUND!\n"));
}

INSTANTIATE_FOR_EVERY_SERVER(Connection);

// Each wait is bounded by the time limit: a StartTLS request ends at its
// first time-out, a bind spends its retries.
TEST(SilentServer, TimesOutStartTlsAtOnceAndTheBindOnEveryAttemptWhileTheBudgetLasts) {
    LoopbackServer silent(LoopbackBehaviour::silent);
    {
        Session starttls("starttls retry=2 delay=0 " + silent.url() + "/o=acme", 1);
        const veldldap::StepTimer timer;
        EXPECT_EQ(starttls.bind(), CS_FAIL);
        EXPECT_LT(timer.milliseconds(), 1900);
        EXPECT_EQ(codes(starttls.comp), std::tuple(1, 16, -5));
        EXPECT_EQ(starttls.state().cur.retrycount, 2);
        EXPECT_TRUE(log_contains("LDAP_START_TLS timed out.\n"));
        EXPECT_FALSE(log_contains(kCalling));
    }
    testhost::clear_events();
    Session session("retry=1 delay=1 " + silent.url() + "/o=acme", 1);
    const veldldap::StepTimer timer;
    EXPECT_EQ(session.bind(), CS_FAIL);
    const double elapsed = timer.milliseconds();
    EXPECT_GE(elapsed, 2900) << "two waits of 1 s and one sleep of 1 s";
    EXPECT_LT(elapsed, 5000);
    EXPECT_EQ(codes(session.comp), std::tuple(1, 16, -5));
    EXPECT_NE(session.state().ld, nullptr);
    EXPECT_EQ(session.state().cur.retrycount, -1);
    EXPECT_EQ(log_count("LDAP_SIMPLE_BIND timed out.\n"), 2);
    EXPECT_TRUE(InOrder(log_messages(), {"Timeout set to 1 seconds\n", "Sleeping for 1 seconds.\n",
                                         "Retrying...(retries left: 0)\n"}));
    EXPECT_TRUE(BracketsAlternate(testhost::events()));
    // Halt and restart around the request, the wait, the sleep, the request, the wait.
    EXPECT_EQ(testhost::events().size(), 10u);
}

// The user's OpenLDAP client configuration, which the library reads once per
// process before the first LDAP call, cannot switch the certificate check
// off for the driver's sessions.  The OpenLDAP tools, run with the same
// configuration, show that it is in force.  Each case needs a process of its
// own; the client library is the same whatever the server.
namespace {

struct Weakening {
    const char *name;
    void (*apply)();
};

void PrintTo(const Weakening &weakening, std::ostream *out) { *out << weakening.name; }

const Weakening kWeakenings[] = {
    {"EnvironmentVariable", [] { ::setenv("LDAPTLS_REQCERT", "never", 1); }},
    {"LdaprcInTheWorkingDirectory", [] { std::ofstream("ldaprc") << "TLS_REQCERT never\n"; }},
};

class WeakenedClientConfiguration : public testing::TestWithParam<Weakening> {};

}  // namespace

TEST_P(WeakenedClientConfiguration, StillRefusesACertificateFromAnUnrelatedCa) {
    GetParam().apply();
    SlapdServer server(with_tls());
    const std::string ldaps = "ldaps://127.0.0.1:" + std::to_string(server.ldaps_port());
    const veldldap::ProgramResult tool =
        veldldap::run_program({"ldapwhoami", "-x", "-H", ldaps},
                              {.environment = {"LDAPTLS_CACERT=" + server.wrong_ca_file()}});
    ASSERT_TRUE(tool.ok()) << "the weakening is not in force: " << tool.summary();

    const std::string account = "/" + server.suffix() + "????bindname=" + server.admin_dn() + "?" +
                                server.admin_password();
    const std::pair<std::string, CS_INT> binds[] = {{"starttls " + server.url() + account, 19}, {ldaps + account, 10}};
    for (const auto &[init, provstatus] : binds) {
        SCOPED_TRACE(init.substr(0, 8));
        Session session(init, 5, server.wrong_ca_file());
        EXPECT_EQ(session.bind(), CS_FAIL);
        EXPECT_EQ(session.comp.dcl_provstatus, provstatus);
    }
}

INSTANTIATE_TEST_SUITE_P(BindDirectory, WeakenedClientConfiguration, testing::ValuesIn(kWeakenings),
                         [](const testing::TestParamInfo<Weakening> &test) { return test.param.name; });
