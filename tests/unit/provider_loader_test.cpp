// Loading the client library: the fallback to the installation's lib3p64
// directory and refusals that the next open tries again.  Concurrent first
// loads are the concurrency tests' part.
#include <gtest/gtest.h>

#include <vector>

#include "host/test_host.h"
#include "ldap_drv.h"
#include "ldapprovider.h"
#include "support/loaded_driver.h"
#include "support/log_file.h"
#include "support/session.h"
#include "support/standin.h"

namespace {

constexpr char kUrl[] = "ldap://127.0.0.1:389/o=acme";

}  // namespace

TEST(ProviderLoading, FallsBackToTheKnownLocationOnce) {
    testhost::set_install_dir(VELDLDAP_DIST_LIB);
    ASSERT_TRUE(Session(kUrl).opened());
    ASSERT_TRUE(Session(kUrl).opened());

    const std::vector<std::string> expected = {
        "LD_LIBRARY_PATH or equivalent probably not set.\n",
        "Attempting to load the libraries from the known location.\n",
        std::string("Trying to load ") + VELDLDAP_DIST_LIB + "/lib3p64/libvelmorldap64.so.15.5.0\n",
        "!!!! gdd__load_ldap_provider succeeded !!!!\n",
    };
    std::vector<std::string> messages = log_messages_from(expected.front());
    messages.resize(expected.size());
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(log_count(expected.back()), 1);  // the second open loads nothing
    EXPECT_EQ(testhost::path_calls(), 1);
}

// A failed load is not remembered: each open tries again, and the handle is
// left alone.  Entry points resolve in a fixed order and the first missing
// one is named; ldap_start_tls_s is required although the driver never calls it.
TEST(ProviderLoading, FailedLoadsAreReportedAndTriedAgainByEachOpen) {
    const std::pair<std::string, std::string> cases[] = {
        {"/nonexistent/installation",
         "Trying to load /nonexistent/installation/lib3p64/libvelmorldap64.so.15.5.0\n"},
        {Standin::install_dir("without_entry_points"), "Error: DLSYM(.,\"ldap_start_tls_s\") failed!\n"},
    };
    DCL_SESS_PROPS properties = session_properties();
    for (const auto &[install_dir, logged] : cases) {
        testhost::set_install_dir(install_dir);
        for (int open = 0; open < 2; ++open) {
            DCL_COMP comp = untouched_comp();
            CS_VOID *handle = reinterpret_cast<CS_VOID *>(0x1);
            CS_INT version = 0;
            EXPECT_EQ(driver().open(const_cast<CS_CHAR *>(kUrl), CS_NULLTERM, &version, &handle, &comp,
                                    &properties), CS_FAIL);
            EXPECT_EQ(comp.dcl_status, 1);
            EXPECT_EQ(comp.dcl_provstatus, DLDAP_ERR_LOADLIB);
            EXPECT_EQ(handle, reinterpret_cast<CS_VOID *>(0x1));
        }
        EXPECT_EQ(log_count(logged), 2) << logged;
    }
    EXPECT_FALSE(log_contains("Error: DLSYM(.,\"ldap_value_free\") failed!\n"));
    EXPECT_EQ(log_count("!!!! FATAL: gdd__load_ldap_provider failed. !!!!\n"), 4);
}

TEST(ProviderLoading, ABrokenInstallationIsAFatalStop) {
    testhost::set_path_failure(true);
    DCL_COMP comp = untouched_comp();
    EXPECT_DEATH(gdd__load_ldap_provider(&comp), "assertion failed, file 'generic/src/ldap_provider.cpp'");
}
