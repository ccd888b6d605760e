// The installed tree as a developer of a host meets it: `cmake --install`
// into a throw-away prefix, the example host built against that tree alone
// (through pkg-config, and through find_package), then run against a
// throw-away slapd.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "child_process.h"
#include "support/log_file.h"
#include "support/slapd_server.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = VELDLDAP_SOURCE_DIR "/examples/minimal_host.c";
// The build's own flags go along, so that a sanitizer build checks the example too.
const std::string kCompiler = EXAMPLE_C_COMPILER;
const std::string kFlags = "-std=c11 -Wall -Wextra -Werror " EXAMPLE_C_FLAGS;
const std::string kLinkFlags = EXAMPLE_LINK_FLAGS;

// The host as the README builds it: only the pkg-config file knows the tree.
std::string build_with_pkg_config(const fs::path &prefix) {
    const std::string host = fs::absolute("host_pkg_config");
    const veldldap::ProgramResult built = veldldap::run_program(
        {"sh", "-c",
         kCompiler + " " + kFlags + " $(pkg-config --cflags veldldap)" +
             " -DVELDLDAP_DRIVER=\"\\\"$(pkg-config --variable=driver veldldap)\\\"\" -rdynamic " + kLinkFlags +
             " -o " + host + " " + kExample + " -ldl"},
        {.environment = {"PKG_CONFIG_PATH=" + (prefix / EXAMPLE_LIBDIR / "pkgconfig").string()}});
    EXPECT_TRUE(built.ok()) << built.summary() << built.out;
    return host;
}

std::string build_with_find_package(const fs::path &prefix) {
    const std::string build = fs::absolute("example_build");
    const veldldap::ProgramResult configured =
        veldldap::run_program({"cmake", "-S", VELDLDAP_SOURCE_DIR "/examples", "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix.string(),
                     "-DCMAKE_C_COMPILER=" + kCompiler, "-DCMAKE_C_FLAGS=" + kFlags,
                     "-DCMAKE_EXE_LINKER_FLAGS=" + kLinkFlags});
    EXPECT_TRUE(configured.ok()) << configured.summary() << configured.out;
    const veldldap::ProgramResult built = veldldap::run_program({"cmake", "--build", build});
    EXPECT_TRUE(built.ok()) << built.summary() << built.out;
    return build + "/minimal_host";
}

}  // namespace

TEST(InstalledTree, TheExampleHostBuiltAgainstItReadsAnEntry) {
    const fs::path prefix = fs::absolute("prefix");
    const veldldap::ProgramResult installed =
        veldldap::run_program({"cmake", "--install", VELDLDAP_BINARY_DIR, "--prefix", prefix});
    ASSERT_TRUE(installed.ok()) << installed.summary();
    EXPECT_FALSE(fs::exists(prefix / "include/veldldap/stored_password.h")) << "for the tools built here only";

    SlapdServer server;
    const std::string base = server.servers_base();
    server.add_ldif("dn: velmorServername=srv1," + base +
                    "\nobjectClass: velmorServer\nvelmorServername: srv1\nvelmorVersion: 3\n"
                    "velmorAddress: TCP#0#srvhost 5000\n");
    const std::string init = server.url() + "/" + base + "????bindname=" + server.admin_dn() + "?";
    const fs::path lib3p64 = prefix / EXAMPLE_DRIVERDIR / "lib3p64/libvelmorldap64.so.15.5.0";

    for (const std::string &host : {build_with_pkg_config(prefix), build_with_find_package(prefix)}) {
        SCOPED_TRACE(host);
        ASSERT_TRUE(fs::exists(host));
        fs::remove("libveldldap.log");
        const veldldap::ProgramResult read =
            veldldap::run_program({host, "srv1"}, {.environment = {"VELDLDAP_INIT=" + init + server.admin_password()}});
        EXPECT_EQ(read.exit_code, 0) << read.summary();
        EXPECT_EQ(read.out, "dn: velmorServername=srv1," + base +
                                   "\nvelmorServername: srv1\nvelmorVersion: 3\nvelmorAddress: TCP#0#srvhost 5000\n");
        // The client library came through the host's com_path_anyfile.
        std::smatch tried;
        const std::string log = log_text();
        ASSERT_TRUE(std::regex_search(log, tried, std::regex("Trying to load (\\S+)\n"))) << log;
        EXPECT_TRUE(fs::equivalent(tried[1].str(), lib3p64)) << tried[1];

        const veldldap::ProgramResult refused =
            veldldap::run_program({host, "srv1"}, {.environment = {"VELDLDAP_INIT=" + init + "wrong"}});
        EXPECT_EQ(refused.exit_code, 1);
        EXPECT_EQ(refused.err,
                  "bind failed: DLDAP_ERR_BIND (10) - the bind was refused, or could not be sent; "
                  "LDAP result code 49\n");
    }
}
