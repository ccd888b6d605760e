// Loading the client library: the fallback to the installation's lib3p64
// directory, refusals that the next open tries again, and concurrent first
// loads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
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

TEST(ProviderLoading, ConcurrentFirstLoadsSeeOnlyACompleteTable) {
    testhost::set_install_dir(VELDLDAP_DIST_LIB);
    std::atomic<bool> go{false};
    std::atomic<int> incomplete_seen{0};
    std::atomic<int> succeeded{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            while (!go) std::this_thread::yield();
            const LDAPAPI_PROVIDER *seen = lpp.load(std::memory_order_acquire);
            if (seen != nullptr && seen->ldap_value_free == nullptr) ++incomplete_seen;
            DCL_COMP comp = untouched_comp();
            if (gdd__load_ldap_provider(&comp) == CS_SUCCEED &&
                gdd__provider().ldap_value_free != nullptr && gdd__provider().ber_memfree != nullptr)
                ++succeeded;
        });
    go = true;
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(succeeded, 8);
    EXPECT_EQ(incomplete_seen, 0);
    EXPECT_EQ(log_count("!!!! gdd__load_ldap_provider succeeded !!!!\n"), 1);
}
