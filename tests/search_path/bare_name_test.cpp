// The real client library found by its bare file name on the library search
// path: the known location is never needed, though the host function for it
// must still exist.
#include <gtest/gtest.h>

#include "host/test_host.h"
#include "support/log_file.h"
#include "support/session.h"

TEST(ProviderLoading, TheSearchPathWinsAndTheFallbackIsNeverEntered) {
    testhost::set_install_dir("/nonexistent/installation");
    Session session("ldap://127.0.0.1:389/o=acme");
    ASSERT_EQ(session.opened_with, CS_SUCCEED);
    EXPECT_TRUE(log_contains("!!!! gdd__load_ldap_provider succeeded !!!!\n"));
    EXPECT_FALSE(log_contains("LD_LIBRARY_PATH or equivalent probably not set.\n"));
    EXPECT_EQ(testhost::path_calls(), 0);
}
