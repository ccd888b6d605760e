// The fuzzers' stand-in for the host process.
#include "fuzz_host.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host_callbacks.h"
#include "ldapprovider.h"

namespace {

// The log is opened once with O_APPEND, so emptying it under the open
// descriptor is safe: the next message lands at its start.
constexpr unsigned kRunsBetweenLogResets = 4096;

}  // namespace

namespace fuzzhost {

std::unique_ptr<char[]> terminated_copy(const uint8_t *data, std::size_t size) {
    auto copy = std::make_unique_for_overwrite<char[]>(size + 1);
    std::copy(data, data + size, copy.get());
    copy[size] = '\0';
    return copy;
}

std::unique_ptr<char[]> exact_copy(const uint8_t *data, std::size_t size) {
    auto copy = std::make_unique_for_overwrite<char[]>(size);
    std::copy(data, data + size, copy.get());
    return copy;
}

}  // namespace fuzzhost

// The client library is loaded as the first gdd_open of a process loads it;
// without it no input could be tried.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    DCL_COMP comp{};
    if (gdd__load_ldap_provider(&comp) != CS_SUCCEED) {
        std::fprintf(stderr, "fuzz: loading the LDAP client library failed (provstatus %d)\n",
                     comp.dcl_provstatus);
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static unsigned runs = 0;
    if (++runs % kRunsBetweenLogResets == 0) ::truncate("libveldldap.log", 0);
    fuzzhost::run(data, size);
    return 0;
}

// The host function the provider loader requires: the path of a library file
// in the installation's directory `dirname`.
extern "C" __attribute__((visibility("default"))) CS_RETCODE com_path_anyfile(
    CS_CHAR *fullpath, CS_INT buflen, CS_CHAR *dirname, CS_CHAR *filename, CS_BOOL) {
    return veldldap::installation_path(VELDLDAP_DIST_LIB, fullpath, buflen, dirname, filename);
}
