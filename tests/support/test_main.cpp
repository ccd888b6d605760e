// Runs the tests of one process in a fresh temporary working directory: the
// driver writes its log there, and parallel test processes must not share it.
// The directory is removed when every test passed and kept for inspection
// otherwise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char pattern[] = "/tmp/veldldap-test-XXXXXX";
    const char *directory = ::mkdtemp(pattern);
    if (directory == nullptr || ::chdir(directory) != 0) {
        std::perror("test working directory");
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    if (result == 0 && std::getenv("VELDLDAP_KEEP_TEST_DIR") == nullptr) {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    } else {
        std::fprintf(stderr, "test working directory kept: %s\n", directory);
    }
    return result;
}
