// Loading the client library: the fallback to the installation's lib3p64
// directory, refusals for missing entry points, retries after failures, and
// concurrent first loads.
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

CS_RETCODE open_session(DCL_COMP *comp, CS_VOID **handle) {
    static DCL_SESS_PROPS properties = session_properties();
    CS_INT version = 0;
    return driver().open(const_cast<CS_CHAR *>(kUrl), CS_NULLTERM, &version, handle, comp,
                         &properties);
}

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

TEST(ProviderLoading, LibraryAbsentEverywhereFailsAndIsRetriedByTheNextOpen) {
    testhost::set_install_dir("/nonexistent/installation");
    DCL_COMP comp = untouched_comp();
    CS_VOID *handle = reinterpret_cast<CS_VOID *>(0x1);
    EXPECT_EQ(open_session(&comp, &handle), CS_FAIL);
    EXPECT_EQ(comp.dcl_status, 1);
    EXPECT_EQ(comp.dcl_provstatus, DLDAP_ERR_LOADLIB);
    EXPECT_EQ(handle, reinterpret_cast<CS_VOID *>(0x1)) << "left alone";
    EXPECT_TRUE(log_contains("!!!! FATAL: gdd__load_ldap_provider failed. !!!!\n"));
    EXPECT_EQ(log_count("Trying to load /nonexistent/installation/lib3p64/libvelmorldap64.so.15.5.0\n"), 1);

    testhost::set_install_dir(VELDLDAP_DIST_LIB);
    ASSERT_TRUE(Session(kUrl).opened());
    EXPECT_EQ(log_count("Attempting to load the libraries from the known location.\n"), 2);
}

TEST(ProviderLoading, RefusesALibraryWithoutAnUncalledEntryPoint) {
    Standin::use("without_start_tls_s");
    DCL_COMP comp = untouched_comp();
    CS_VOID *handle = nullptr;
    EXPECT_EQ(open_session(&comp, &handle), CS_FAIL);
    EXPECT_EQ(open_session(&comp, &handle), CS_FAIL);
    EXPECT_EQ(comp.dcl_provstatus, DLDAP_ERR_LOADLIB);
    // Refused twice: the second open repeated the whole load.
    EXPECT_EQ(log_count("Error: DLSYM(.,\"ldap_start_tls_s\") failed!\n"), 2);
    EXPECT_EQ(handle, nullptr);
}

TEST(ProviderLoading, ReportsTheFirstMissingEntryPointInResolutionOrder) {
    Standin::use("without_several");
    DCL_COMP comp = untouched_comp();
    CS_VOID *handle = nullptr;
    EXPECT_EQ(open_session(&comp, &handle), CS_FAIL);
    EXPECT_EQ(comp.dcl_provstatus, DLDAP_ERR_LOADLIB);
    EXPECT_TRUE(log_contains("Error: DLSYM(.,\"ber_memfree\") failed!\n"));
    EXPECT_FALSE(log_contains("Error: DLSYM(.,\"ldap_add_s\") failed!\n"));
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
