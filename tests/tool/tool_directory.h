/*
 * A test with a throw-away slapd (SlapdServer, with TLS) holding three
 * sample server entries below ou=servers,o=acme, and veldir run against it
 * with the matching initialisation string (StartTLS, bound as the
 * administrator) and CA file.
 */
#ifndef VELDLDAP_TOOL_DIRECTORY_H
#define VELDLDAP_TOOL_DIRECTORY_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/slapd_server.h"
#include "tool/tool_runner.h"

class ToolDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override;

    // The initialisation string for the server; the administrator's password by default.
    std::string init(const std::string &password = "") const;
    // veldir with --init and --ca for the server, then `arguments`.
    ToolResult veldir(const std::vector<std::string> &arguments, const veldldap::ProgramOptions &options = {}) const;

    std::unique_ptr<SlapdServer> server;
};

#endif
