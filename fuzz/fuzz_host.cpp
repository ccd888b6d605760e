// The fuzzers' stand-in for the host process.
#include "fuzz_host.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host_callbacks.h"
#include "ldapprovider.h"

namespace {

std::string scratch_directory;

// The log is opened once with O_APPEND, so emptying it under the open
// descriptor is safe: the next message lands at its start.
constexpr unsigned kRunsBetweenLogResets = 4096;

// libFuzzer flags whose value is a path.
constexpr const char *kPathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                                      "-features_dir=", "-mutation_graph_file=", "-seed_inputs="};

std::string absolute(const std::string &start, const std::string &path) {
    return path.empty() || path[0] == '/' ? path : start + "/" + path;
}

// The arguments with every relative path made absolute; libFuzzer reads them
// only after LLVMFuzzerInitialize returns.
void make_paths_absolute(int *argc, char ***argv, const std::string &start) {
    static std::vector<std::string> arguments;
    static std::vector<char *> pointers;
    bool has_artifact_prefix = false;
    for (int i = 0; i < *argc; ++i) {
        std::string argument = (*argv)[i];
        if (i > 0 && argument[0] != '-') {
            argument = absolute(start, argument);
        } else {
            for (const char *flag : kPathFlags) {
                const std::string prefix = flag;
                if (argument.rfind(prefix, 0) != 0) continue;
                argument = prefix + absolute(start, argument.substr(prefix.size()));
                has_artifact_prefix |= prefix == "-artifact_prefix=";
            }
        }
        arguments.push_back(argument);
    }
    if (!has_artifact_prefix) arguments.push_back("-artifact_prefix=" + start + "/");
    for (std::string &argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(arguments.size());
    *argv = pointers.data();
}

void remove_scratch_directory() {
    if (scratch_directory.empty()) return;
    std::remove((scratch_directory + "/libveldldap.log").c_str());
    ::rmdir(scratch_directory.c_str());
}

}  // namespace

namespace fuzzhost {

void enter_scratch_directory(int *argc, char ***argv) {
    char start[PATH_MAX];
    if (::getcwd(start, sizeof start) == nullptr) {
        std::perror("fuzz: working directory");
        std::exit(1);
    }
    make_paths_absolute(argc, argv, start);
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/veldldap-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) {
        std::perror("fuzz: scratch directory");
        std::exit(1);
    }
    scratch_directory = pattern;
    std::atexit(remove_scratch_directory);
}

void bound_log() {
    static unsigned runs = 0;
    if (++runs % kRunsBetweenLogResets == 0) ::truncate("libveldldap.log", 0);
}

void load_provider() {
    DCL_COMP comp{};
    if (gdd__load_ldap_provider(&comp) != CS_SUCCEED) {
        std::fprintf(stderr, "fuzz: loading the LDAP client library failed (provstatus %d)\n",
                     comp.dcl_provstatus);
        std::exit(1);
    }
}

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

// The host function the provider loader requires: the path of a library file
// in the installation's directory `dirname`.
extern "C" __attribute__((visibility("default"))) CS_RETCODE com_path_anyfile(
    CS_CHAR *fullpath, CS_INT buflen, CS_CHAR *dirname, CS_CHAR *filename, CS_BOOL) {
    return veldldap::installation_path(VELDLDAP_DIST_LIB, fullpath, buflen, dirname, filename);
}
