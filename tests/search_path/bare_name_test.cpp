// The real client library found by its bare file name on the library search
// path: the known location is never needed, though the host function for it
// must still exist.
#include <gtest/gtest.h>

#include "host/test_host.h"
#include "support/driver_library.h"
#include "support/log_file.h"

TEST(ProviderLoading, TheSearchPathWinsAndTheFallbackIsNeverEntered) {
    testhost::set_install_dir("/nonexistent/installation");
    DCL_SESS_PROPS properties = session_properties();
    DCL_COMP comp = untouched_comp();
    CS_VOID *handle = nullptr;
    CS_INT version = 0;
    char url[] = "ldap://127.0.0.1:389/o=acme";
    ASSERT_EQ(driver().open(url, CS_NULLTERM, &version, &handle, &comp, &properties), CS_SUCCEED);
    EXPECT_EQ(version, 15501);
    EXPECT_TRUE(log_contains("!!!! gdd__load_ldap_provider succeeded !!!!\n"));
    EXPECT_FALSE(log_contains("LD_LIBRARY_PATH or equivalent probably not set.\n"));
    EXPECT_EQ(testhost::path_calls(), 0);
    ASSERT_EQ(driver().close(handle, &comp), CS_SUCCEED);
}
