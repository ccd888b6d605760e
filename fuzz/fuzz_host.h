/*
 * What every fuzz target shares.  The driver loads its LDAP client library
 * through a function of the host process, so a fuzzer stands in for the
 * host: it offers com_path_anyfile pointing at the build's "lib3p64"
 * directory and loads the library before the first input.  libFuzzer's entry
 * points live here; a target defines only fuzzhost::run.
 *
 * The driver writes its log into the working directory: run a target from a
 * scratch directory, as scripts/run-fuzzers.sh does.  The log is emptied
 * every few thousand runs, so it never grows without bound.
 */
#ifndef VELDLDAP_FUZZ_HOST_H
#define VELDLDAP_FUZZ_HOST_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace fuzzhost {

// The target's checks on one input; any failed check aborts.
void run(const uint8_t *data, std::size_t size);

// A writable copy of the bytes with a terminator after them.
std::unique_ptr<char[]> terminated_copy(const uint8_t *data, std::size_t size);

// A copy of exactly the bytes, no terminator: reading past them is caught.
// Never null, also for no bytes, as a host's text pointer never is.
std::unique_ptr<char[]> exact_copy(const uint8_t *data, std::size_t size);

}  // namespace fuzzhost

#endif
