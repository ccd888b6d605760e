// The test host's functions, exported from the test executables (they are
// linked with exported symbols, so the driver finds them with dlsym).
#include "host/test_host.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

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

void release_value(const DCL_ATTRIBUTE &attribute, DCL_ATTRVALUE &value) {
    if (attribute.dcl_attrsyntax == DCL_SYNTAX_STRING || attribute.dcl_attrsyntax == DCL_SYNTAX_OID)
        std::free(value.dcl_string.dcl_stringp);
}

void release_object(DCL_OBJECT *object) {
    if (object == nullptr) return;
    std::free(object->dcl_class.dcl_oidp);
    std::free(object->dcl_dist_name.dcl_stringp);
    DCL_ATTRLIST &list = object->dcl_attrlist;
    for (CS_INT a = 0; list.dcl_attribute != nullptr && a < list.dcl_numattr; ++a) {
        DCL_ATTRIBUTE &attribute = list.dcl_attribute[a];
        for (CS_INT v = 0; attribute.dcl_attrvalues != nullptr && v < attribute.dcl_numvalues; ++v)
            release_value(attribute, attribute.dcl_attrvalues[v]);
        std::free(attribute.dcl_attrvalues);
        std::free(attribute.dcl_attrtype.dcl_oidp);
    }
    std::free(list.dcl_attribute);
    std::free(object);
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

void release_result(DCL_RESULT *result) {
    if (result == nullptr) return;
    for (CS_INT i = 0; result->dcl_objlist != nullptr && i < result->dcl_numentries; ++i)
        release_object(result->dcl_objlist[i]);
    std::free(result->dcl_objlist);
    std::free(result);  // dcl_name points into the session handle
}

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
    const int written = std::snprintf(fullpath, static_cast<size_t>(buflen), "%s/%s/%s",
                                      directory.c_str(), dirname, filename);
    return written > 0 && written < buflen ? CS_SUCCEED : CS_FAIL;
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

#ifndef TEST_HOST_WITHOUT_DROP
__attribute__((visibility("default"))) CS_RETCODE dcl_result_drop(CS_VOID *, DCL_RESULT *result,
                                                                 DCL_COMP *) {
    ++drop_count;
    testhost::release_result(result);
    return CS_SUCCEED;
}
#endif
}
