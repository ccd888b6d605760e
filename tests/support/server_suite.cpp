#include "support/server_suite.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>


namespace {

std::map<veldldap::DirectoryFlavour, std::unique_ptr<DirectoryServer>> &suite_servers() {
    static std::map<veldldap::DirectoryFlavour, std::unique_ptr<DirectoryServer>> servers;
    return servers;
}

}  // namespace

void PrintTo(const ServerKind &kind, std::ostream *out) { *out << kind.name; }

void ServerSuite::SetUp() {
    if (!veldldap::directory_server_installed(kind().flavour)) {
        if (std::getenv("VELDLDAP_REQUIRE_SERVERS") != nullptr)
            FAIL() << kind().name << " is not installed, and VELDLDAP_REQUIRE_SERVERS asks for every server";
        GTEST_SKIP() << kind().name << " is not installed: these cases need it";
    }
    // The driver appends to its log; the tests of a suite share the process.
    std::error_code no_log_yet;
    std::filesystem::resize_file("libveldldap.log", 0, no_log_yet);
}

void ServerSuite::TearDownTestSuite() { suite_servers().clear(); }

DirectoryServer &ServerSuite::server() {
    std::unique_ptr<DirectoryServer> &shared = suite_servers()[kind().flavour];
    if (shared == nullptr) shared = std::make_unique<DirectoryServer>(kind().flavour, options_);
    return *shared;
}

std::string ServerSuite::init_string(const std::string &options, const std::string &dn, const std::string &password) {
    std::string text = options + server().url() + "/" + server().servers_base();
    if (!dn.empty()) text += "????bindname=" + dn + "?" + password;
    return text;
}

std::string ServerSuite::as_admin(const std::string &options) {
    return init_string(options, server().admin_dn(), server().admin_password());
}

std::string ServerSuite::as_reader(const std::string &options) {
    return init_string(options, server().reader_dn(), server().reader_password());
}
