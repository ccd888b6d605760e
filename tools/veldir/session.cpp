#include "session.h"

#include <pthread.h>

#include <cstring>
#include <utility>

#include "deadline.h"
#include "driver_log.h"
#include "exit_codes.h"
#include "host_callbacks.h"

namespace {

constexpr CS_INT kPropertyBufferSize = 513;  // the driver's texts are at most 512 characters

}  // namespace

BrokenPipeHeld::BrokenPipeHeld() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous_);
}

BrokenPipeHeld::~BrokenPipeHeld() {
    if (sigismember(&previous_, SIGPIPE)) return;  // held off already, by whoever holds it
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec no_wait{};
    while (sigtimedwait(&pipe, nullptr, &no_wait) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

Session::Session(const DriverLibrary &driver, const ConnectionSettings &settings, std::string init)
    : driver_(driver), init_(std::move(init)), configured_timelimit_(settings.timelimit.value_or(0)) {
    std::strncpy(properties_.dsp_tls_ca, settings.ca.c_str(), sizeof properties_.dsp_tls_ca - 1);
    properties_.dsp_timelimit = configured_timelimit_;
}

Session::~Session() {
    if (bind_tried_) unbind();
    close();
}

// The driver reads the time limit through its pointer to the properties at
// every call, so each call gets what remains of the deadline.
BrokenPipeHeld Session::begin_call() {
    comp_ = DCL_COMP{};
    properties_.dsp_timelimit = deadline::step_time_limit(configured_timelimit_);
    log_mark_ = driver_log::mark();
    return {};
}

Failure Session::reported_failure(const std::string &step, Phase phase, const DCL_COMP &comp) const {
    Failure failure = driver_failure(step, phase, comp);
    failure.log_begin = log_mark_;
    failure.log_end = driver_log::mark();
    // The call had the rest of the deadline as its limit: the deadline stopped it.
    if (deadline::passed()) {
        failure.exit_code = kExitDeadline;
        failure.diagnosis = "the --deadline passed during this step, which had what remained of it as its time limit";
    }
    return failure;
}

Outcome Session::finish(CS_RETCODE result, const std::string &step, Phase phase) const {
    if (result == CS_SUCCEED) return std::nullopt;
    return reported_failure(step, phase, comp_);
}

Outcome Session::open() {
    if (init_.empty())
        return tool_failure("open", "no initialisation string",
                            "give it with --init STRING or as init = in libdsv.cfg", kExitConfiguration);
    const BrokenPipeHeld held = begin_call();
    CS_VOID *handle = nullptr;
    const CS_RETCODE result =
        driver_.open(init_.data(), static_cast<CS_INT>(init_.size()), &version_, &handle, &comp_, &properties_);
    if (result == CS_SUCCEED) handle_ = handle;
    return finish(result, "open", Phase::connection);
}

Outcome Session::bind() {
    if (driver_.bind == nullptr) return missing_entry_point(driver_, "gdd_bind");
    bind_tried_ = true;
    const BrokenPipeHeld held = begin_call();
    return finish(driver_.bind(handle_, &comp_), "bind", Phase::connection);
}

Outcome Session::unbind() {
    if (!bind_tried_ || handle_ == nullptr) return std::nullopt;
    if (driver_.unbind == nullptr) return missing_entry_point(driver_, "gdd_unbind");
    bind_tried_ = false;
    const BrokenPipeHeld held = begin_call();
    return finish(driver_.unbind(handle_, &comp_), "unbind", Phase::connection);
}

Outcome Session::close() {
    if (handle_ == nullptr) return std::nullopt;
    const BrokenPipeHeld held = begin_call();
    const CS_RETCODE result = driver_.close(handle_, &comp_);
    handle_ = nullptr;
    return finish(result, "close", Phase::connection);
}

Outcome Session::get_property(CS_INT property, std::string &value) {
    char buffer[kPropertyBufferSize] = {};
    CS_INT length = 0;
    const Outcome outcome = fetch_property(property, buffer, sizeof buffer, length);
    if (!outcome) value.assign(buffer, static_cast<std::size_t>(length));
    return outcome;
}

Outcome Session::fetch_property(CS_INT property, char *buffer, CS_INT size, CS_INT &length) {
    if (driver_.props == nullptr) return missing_entry_point(driver_, "gdd_props");
    const BrokenPipeHeld held = begin_call();
    const CS_RETCODE result =
        driver_.props(handle_, DCL_ACTION_GET, property, buffer, size, &length, &comp_);
    return finish(result, "props", Phase::connection);
}

Outcome Session::set_search_base(const std::string &base) {
    if (driver_.props == nullptr) return missing_entry_point(driver_, "gdd_props");
    if (base.size() >= static_cast<std::size_t>(kPropertyBufferSize))
        return tool_failure("set search base", "the search base is longer than 512 characters", "", kExitUsage);
    std::string text = base;
    CS_INT unused = 0;
    const BrokenPipeHeld held = begin_call();
    return finish(driver_.props(handle_, DCL_ACTION_SET, DCL_PROP_DITBASE, text.data(), CS_NULLTERM, &unused, &comp_),
                  "set search base", Phase::connection);
}

Outcome Session::take_result(CS_RETCODE result, DCL_RESULT *&dcl_result, const std::string &step,
                             std::vector<Entry> &entries, bool none_is_success) {
    const DCL_COMP report = comp_;
    if (result == CS_SUCCEED && dcl_result != nullptr) entries = entries_from_result(*dcl_result);
    // A failed search may leave its (empty) result behind for the host to release.
    veldldap::release_result(dcl_result);
    dcl_result = nullptr;
    if (result == CS_SUCCEED) return std::nullopt;
    // No entries below the base is an answer, not an error, for a listing.
    if (none_is_success && report.dcl_provstatus == DLDAP_ERR_NOENTRY && report.dcl_oserr == 0) return std::nullopt;
    return reported_failure(step, Phase::operation, report);
}

Outcome Session::search_base(std::string &base) { return get_property(DCL_PROP_DITBASE, base); }

Outcome Session::read(const EntryName &name, std::vector<Entry> &entries) {
    return read_text(name.dn, name.value, entries);
}

Outcome Session::read_server_name(const std::string &server_name, std::vector<Entry> &entries) {
    return read_text(server_name, server_name, entries);
}

Outcome Session::read_text(std::string text, const std::string &shown, std::vector<Entry> &entries) {
    if (driver_.read == nullptr) return missing_entry_point(driver_, "gdd_read");
    DCL_RESULT *result = nullptr;
    const BrokenPipeHeld held = begin_call();
    const CS_RETCODE code = driver_.read(handle_, text.data(), static_cast<CS_INT>(text.size()), &result, &comp_);
    return take_result(code, result, "read " + shown, entries, false);
}

Outcome Session::search(std::vector<Entry> &entries) {
    if (driver_.search == nullptr) return missing_entry_point(driver_, "gdd_search");
    DCL_OID server_class{static_cast<CS_INT>(kServerClassOid.size()), const_cast<CS_CHAR *>(kServerClassOid.data())};
    DCL_RESULT *result = nullptr;
    const BrokenPipeHeld held = begin_call();
    const CS_RETCODE code = driver_.search(handle_, &server_class, &result, &comp_);
    return take_result(code, result, "search", entries, true);
}

Outcome Session::add(const EntryName &name, ObjectBuilder &object) {
    if (driver_.add_entry == nullptr) return missing_entry_point(driver_, "gdd_add_entry");
    std::string text = name.dn;
    const BrokenPipeHeld held = begin_call();
    return finish(driver_.add_entry(handle_, text.data(), static_cast<CS_INT>(text.size()), object.object(), &comp_),
                  "add " + name.value, Phase::operation);
}

Outcome Session::modify(const EntryName &name, ObjectBuilder &object) {
    if (driver_.modify_entry == nullptr) return missing_entry_point(driver_, "gdd_modify_entry");
    std::string text = name.dn;
    const BrokenPipeHeld held = begin_call();
    return finish(
        driver_.modify_entry(handle_, text.data(), static_cast<CS_INT>(text.size()), object.object(), &comp_),
        "modify " + name.value, Phase::operation);
}

Outcome Session::remove(const EntryName &name) {
    if (driver_.delete_entry == nullptr) return missing_entry_point(driver_, "gdd_delete_entry");
    std::string text = name.dn;
    const BrokenPipeHeld held = begin_call();
    return finish(driver_.delete_entry(handle_, text.data(), static_cast<CS_INT>(text.size()), &comp_),
                  "delete " + name.value, Phase::operation);
}
