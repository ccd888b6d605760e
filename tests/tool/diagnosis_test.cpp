// A failed connection explained by its real cause, and the --deadline
// bounding the whole run, against a real slapd.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tool/tool_directory.h"

namespace {

using VeldirDiagnosis = ToolDirectoryTest;
using VeldirDeadline = ToolDirectoryTest;

const std::string kBase = "/ou=servers,o=acme";

// Relays one client connection to the server.  Once the server has answered
// (the bind) and the client sends again (the search), it suspends the server
// before passing that on, so the search waits for an answer that never comes.
class SuspendingRelay {
public:
    explicit SuspendingRelay(DirectoryServer &server) : server_(server) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            throw std::runtime_error("relay: cannot listen");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { relay(); });
    }
    ~SuspendingRelay() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
        server_.resume();
    }
    std::string url() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

private:
    bool wait_readable(int fd) const {
        pollfd watched{fd, POLLIN, 0};
        while (!stop_)
            if (::poll(&watched, 1, 50) > 0) return true;
        return false;
    }

    void relay() {
        if (!wait_readable(listener_)) return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(server_.port()));
        if (::connect(upstream, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) pass_on(client, upstream);
        ::close(client);
        ::close(upstream);
    }

    void pass_on(int client, int upstream) {
        pollfd ends[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
        bool answered = false;
        while (!stop_) {
            if (::poll(ends, 2, 50) <= 0) continue;
            for (int from = 0; from < 2; ++from) {
                if (ends[from].revents == 0) continue;
                char buffer[16384];
                const ssize_t got = ::read(ends[from].fd, buffer, sizeof buffer);
                if (got <= 0) return;
                if (from == 0 && answered && !suspended_) {
                    server_.suspend();
                    suspended_ = true;
                }
                answered |= from == 1;
                if (::write(ends[1 - from].fd, buffer, static_cast<std::size_t>(got)) != got) return;
            }
        }
    }

    DirectoryServer &server_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    bool suspended_ = false;
    std::thread thread_;
};

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
    };
    for (const auto &c : cases) {
        const ToolResult result = run_veldir({"--init", c.init, "--ca", c.ca, "search"});
        EXPECT_EQ(result.exit_code, 3) << c.init;
        EXPECT_NE(result.err.find(c.hint), std::string::npos) << c.hint << "\n" << result.err;
        // The log's place is said, and it is the private default one.
        EXPECT_NE(result.err.find("the driver's log: " + std::filesystem::absolute("state/veldir/libveldldap.log").string()),
                  std::string::npos) << result.err;
    }
    EXPECT_EQ(std::filesystem::status("state/veldir").permissions(), std::filesystem::perms::owner_all);

    // check shows what the driver logged in the failing step.
    const ToolResult check = run_veldir({"--init", starttls, "--ca", "/nonexist/ca.pem", "check"});
    EXPECT_NE(check.out.find("What the driver logged in this step:\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("Setting CA Certificate to /nonexist/ca.pem"), std::string::npos);
}

// The driver halts the alarm clock while it waits, so veldir gives each call
// what remains of the deadline as its time limit.
TEST_F(VeldirDeadline, SuspendedServerEndsTheRunWithinTheDeadline) {
    SuspendingRelay relay(*server);
    const struct {
        std::string what, url;
        bool suspend_first;
    } cases[] = {
        {"search", relay.url(), false},
        {"bind", "starttls " + server->url(), true},
    };
    for (const auto &c : cases) {
        if (c.suspend_first) server->suspend();
        const auto start = std::chrono::steady_clock::now();
        const ToolResult result =
            run_veldir({"--deadline", "2", "--timelimit", "0", "--init", c.url + kBase, "--ca", server->ca_file(), "search"});
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.exit_code, 5) << c.what << ": " << result.err;
        EXPECT_LT(took, std::chrono::seconds(3)) << c.what;
        EXPECT_NE(result.err.find("the deadline passed"), std::string::npos) << result.err;
        server->resume();
    }
}

}  // namespace
