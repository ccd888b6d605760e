// A host without com_path_anyfile is a broken installation, even when the
// library would be found without it.
#include <gtest/gtest.h>

#include "ldap_drv.h"
#include "ldapprovider.h"

TEST(ProviderLoading, AHostWithoutThePathFunctionIsAFatalStop) {
    DCL_COMP comp{};
    EXPECT_DEATH(gdd__load_ldap_provider(&comp), "assertion failed, file 'generic/src/ldap_provider.cpp'");
}
