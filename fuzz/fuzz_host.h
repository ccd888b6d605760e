/*
 * What every fuzz target shares.  The driver writes its log into the working
 * directory and loads its LDAP client library through a function of the host
 * process, so a fuzzer stands in for the host: it works in a scratch
 * directory of its own, keeps the log from growing without bound over
 * millions of runs, and offers com_path_anyfile pointing at the build's
 * "lib3p64" directory.
 */
#ifndef VELDLDAP_FUZZ_HOST_H
#define VELDLDAP_FUZZ_HOST_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace fuzzhost {

// Moves into a fresh temporary directory, removed again at exit.  Relative
// paths among libFuzzer's arguments (corpus directories, inputs, -dict=,
// -artifact_prefix=, ...) are first made absolute, and failing inputs are
// written to the directory the fuzzer was started in, as usual.
void enter_scratch_directory(int *argc, char ***argv);

// Called once per run: empties the driver's log every few thousand runs.
void bound_log();

// Loads the real client library into the provider table, as the first
// gdd_open of a process does; a failure ends the fuzzer at once, since no
// input could then be tried.
void load_provider();

// A writable copy of the bytes with a terminator after them.
std::unique_ptr<char[]> terminated_copy(const uint8_t *data, std::size_t size);

// A copy of exactly the bytes, no terminator: reading past them is caught.
// Never null, also for no bytes, as a host's text pointer never is.
std::unique_ptr<char[]> exact_copy(const uint8_t *data, std::size_t size);

}  // namespace fuzzhost

#endif
