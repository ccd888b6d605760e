// A failed connection explained by its real cause, and the time limit and
// the --deadline bounding a run, against a real slapd.
#include <chrono>
#include <filesystem>
#include <optional>

#include "support/fault_relay.h"
#include "support/loopback_servers.h"
#include "tool/tool_directory.h"

namespace {

using VeldirDiagnosis = ToolDirectoryTest;
using VeldirDeadline = ToolDirectoryTest;

const std::string kBase = "/ou=servers,o=acme";

TEST_F(VeldirDiagnosis, FailedBindNamesTheRealCause) {
    const std::string ldaps = "ldaps://127.0.0.1:" + std::to_string(server->ldaps_port()) + kBase;
    const std::string starttls = "starttls " + server->url() + kBase;
    const struct {
        std::string init, ca, hint;
    } cases[] = {
        {ldaps, server->wrong_ca_file(),
         "hint: the server's certificate (subject \"CN=localhost,O=Velmor Throw-away\", issued by \"CN=Throw-away "
         "CA,O=Velmor Throw-away\") does not verify against the CA file " + server->wrong_ca_file()},
        {ldaps, "", "hint: no CA file was given"},
        {starttls, "/nonexist/ca.pem", "hint: the CA file /nonexist/ca.pem cannot be read: No such file or directory"},
        {"starttls ldap://127.0.0.1:9" + kBase, server->ca_file(),
         "hint: the server is unreachable: connecting to 127.0.0.1:9 fails (Connection refused)"},
        {"ldaps://127.0.0.1:" + std::to_string(server->port()) + kBase, server->ca_file(),
         "hint: the TLS handshake with 127.0.0.1:" + std::to_string(server->port()) + " fails even without checking"},
        {init("wrong"), server->ca_file(), "hint: wrong bind DN or password"},
    };
    for (const auto &c : cases) {
        const ToolResult result = run_veldir({"--init", c.init, "--ca", c.ca, "search"});
        EXPECT_TRUE(exits_with(result, 3, c.hint));
        EXPECT_THAT(result.err, HasSubstr("bind failed: DLDAP_ERR_"));
        // The log's place is said, and it is the private default one.
        EXPECT_THAT(result.err,
                    HasSubstr("the driver's log: " + std::filesystem::absolute("state/veldir/libveldldap.log").string()));
    }
    EXPECT_EQ(std::filesystem::status("state/veldir").permissions(), std::filesystem::perms::owner_all);

    // check shows what the driver logged in the failing step.
    const ToolResult check = run_veldir({"--init", starttls, "--ca", "/nonexist/ca.pem", "check"});
    EXPECT_THAT(check.out, HasSubstr("What the driver logged in this step:\n"));
    EXPECT_THAT(check.out, HasSubstr("Setting CA Certificate to /nonexist/ca.pem"));
}

// The driver halts the alarm clock while it waits, so veldir gives each call
// what remains of the deadline as its time limit.
TEST_F(VeldirDeadline, SuspendedServerEndsTheRunWithinTheDeadline) {
    const struct {
        std::string what;
        bool suspend_first;  // else the server is suspended when the search comes
    } cases[] = {
        {"search", false},
        {"bind", true},
    };
    for (const auto &c : cases) {
        std::optional<FaultRelay> relay;
        if (c.suspend_first) server->suspend();
        else relay.emplace(server->port(), FaultRelay::Fault::suspend_server, [&] { server->suspend(); });
        const std::string url = relay ? relay->url() : "starttls " + server->url();
        const auto start = std::chrono::steady_clock::now();
        const ToolResult result =
            run_veldir({"--deadline", "2", "--timelimit", "0", "--init", url + kBase, "--ca", server->ca_file(), "search"});
        const auto took = std::chrono::steady_clock::now() - start;
        relay.reset();  // its thread, which may have suspended the server, has ended
        EXPECT_TRUE(exits_with(result, 5, "the deadline passed")) << c.what;
        EXPECT_LT(took, std::chrono::seconds(3)) << c.what;
        server->resume();
    }
}

TEST(VeldirTimeLimit, SilentServerTimesOutWithinTheLimit) {
    LoopbackServer silent(LoopbackBehaviour::silent);
    // A deadline further off than the limit leaves the limit in charge.
    const ToolResult result =
        run_veldir({"--deadline", "30", "--timelimit", "1", "--init", silent.url() + "/o=acme", "search"});
    EXPECT_TRUE(exits_with(result, 3, "DLDAP_ERR_TIMEOUT (16)"));
    EXPECT_THAT(result.err, HasSubstr("--timelimit"));
}

}  // namespace
