/*
 * Directory tests that run against every kind of throw-away server: slapd
 * and 389 Directory Server.  A suite's fixture derives from ServerSuite,
 * and INSTANTIATE_FOR_EVERY_SERVER(Suite) makes one suite per kind
 * ("slapd/Suite", "ds389/Suite").  The tests of a suite share one server,
 * made by the first of them with the suite's options and ended with the
 * suite, so a test leaves the server as it found it.  tests/CMakeLists.txt
 * runs each such suite in a process of its own; every test starts with an
 * empty driver log.
 *
 * Where the kinds behave differently, ServerKind names the difference, so
 * that a test states both expectations.  A kind that is not installed is
 * skipped with a message, unless VELDLDAP_REQUIRE_SERVERS is set (CI
 * installs both).
 */
#ifndef VELDLDAP_SERVER_SUITE_H
#define VELDLDAP_SERVER_SUITE_H

#include <gtest/gtest.h>

#include <string>

#include "support/directory_server.h"

struct ServerKind {
    veldldap::DirectoryFlavour flavour;
    const char *name;
    // slapd answers a bind at protocol version 2 with protocolError and the
    // driver binds again at version 3; 389 DS accepts version 2, so a
    // session without StartTLS stays at version 2.
    bool accepts_version2;
    // Asked for attributes by OID, 389 DS names them by those OIDs in its
    // answer; slapd by their names.
    bool answers_with_oids;
};

void PrintTo(const ServerKind &kind, std::ostream *out);

inline constexpr ServerKind kSlapd{veldldap::DirectoryFlavour::slapd, "slapd", false, false};
inline constexpr ServerKind kDs389{veldldap::DirectoryFlavour::ds389, "ds389", true, true};

class ServerSuite : public testing::TestWithParam<ServerKind> {
protected:
    explicit ServerSuite(DirectoryServerOptions options = {}) : options_(std::move(options)) {}
    void SetUp() override;
    static void TearDownTestSuite();

    const ServerKind &kind() const { return GetParam(); }
    // The suite's server of this test's kind.
    DirectoryServer &server();

    // Initialisation string for the servers' container on the ldap:// port,
    // with `options` in front, bound as the account (none: anonymous).
    std::string init_string(const std::string &options = "", const std::string &dn = "",
                            const std::string &password = "");
    std::string as_admin(const std::string &options = "");
    std::string as_reader(const std::string &options = "");

private:
    DirectoryServerOptions options_;
};

#define INSTANTIATE_FOR_EVERY_SERVER(suite)                                \
    INSTANTIATE_TEST_SUITE_P(slapd, suite, testing::Values(kSlapd));       \
    INSTANTIATE_TEST_SUITE_P(ds389, suite, testing::Values(kDs389))

#endif
