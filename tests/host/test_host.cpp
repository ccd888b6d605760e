// The test host's functions, exported from the test executables (they are
// linked with exported symbols, so the driver finds them with dlsym).
#include "host/test_host.h"

#include <atomic>
#include <cerrno>
#include <mutex>

#include "host_callbacks.h"

namespace {

std::mutex state_mutex;
std::string install_dir = VELDLDAP_DIST_LIB;
std::vector<std::string> trace;
std::atomic<bool> path_failure{false};
std::atomic<int> path_call_count{0};
std::atomic<int> drop_count{0};
std::atomic<int> hook_errno{0};

[[maybe_unused]] void leave_hook_errno() {
    if (const int error_number = hook_errno.load()) errno = error_number;
}

}  // namespace

namespace testhost {

void set_install_dir(const std::string &directory) {
    std::lock_guard<std::mutex> guard(state_mutex);
    install_dir = directory;
}
void set_path_failure(bool fail) { path_failure = fail; }
int path_calls() { return path_call_count; }

void record(const std::string &event) {
    std::lock_guard<std::mutex> guard(state_mutex);
    trace.push_back(event);
}
std::vector<std::string> events() {
    std::lock_guard<std::mutex> guard(state_mutex);
    return trace;
}
void clear_events() {
    std::lock_guard<std::mutex> guard(state_mutex);
    trace.clear();
}
int result_drops() { return drop_count; }
void set_hook_errno(int error_number) { hook_errno = error_number; }

}  // namespace testhost

extern "C" {

__attribute__((visibility("default"))) void testhost_record(const char *event) {
    testhost::record(event);
}

#ifndef TEST_HOST_WITHOUT_PATHS
__attribute__((visibility("default"))) CS_RETCODE com_path_anyfile(CS_CHAR *fullpath, CS_INT buflen,
                                                                  CS_CHAR *dirname, CS_CHAR *filename,
                                                                  CS_BOOL) {
    ++path_call_count;
    if (path_failure) return CS_FAIL;
    std::string directory;
    {
        std::lock_guard<std::mutex> guard(state_mutex);
        directory = install_dir;
    }
    return veldldap::installation_path(directory, fullpath, buflen, dirname, filename);
}
#endif

#ifndef TEST_HOST_WITHOUT_ALARM
__attribute__((visibility("default"))) void velmor_internal_halt_alarm_clock(void) {
    testhost::record("halt");
    leave_hook_errno();
}
#ifndef TEST_HOST_WITHOUT_RESTART
__attribute__((visibility("default"))) void velmor_internal_restart_alarm_clock(void) {
    testhost::record("restart");
    leave_hook_errno();
}
#endif
#endif

__attribute__((visibility("default"))) CS_RETCODE dcl_result_drop(CS_VOID *, DCL_RESULT *result,
                                                                 DCL_COMP *) {
    ++drop_count;
    veldldap::release_result(result);
    return CS_SUCCEED;
}
}
