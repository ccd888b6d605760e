#include "support/session.h"

#include "host_callbacks.h"
#include "support/loaded_driver.h"

Session::Session(const std::string &init_string, int timelimit, const std::string &ca,
                 const veldldap::DriverLibrary *library)
    : comp(untouched_comp()), driver_(library ? *library : driver()), properties_(session_properties(timelimit, ca)) {
    opened_with = driver_.open(const_cast<CS_CHAR *>(init_string.c_str()), CS_NULLTERM, &version, &handle_,
                               &comp, &properties_);
}

void Session::close() {
    release_result();
    if (handle_ == nullptr) return;
    DCL_COMP ignored{};
    if (driver_.unbind != nullptr) driver_.unbind(handle_, &ignored);
    driver_.close(handle_, &ignored);
    handle_ = nullptr;
}

CS_RETCODE Session::bind() {
    comp = untouched_comp();
    return driver_.bind(handle_, &comp);
}

CS_RETCODE Session::unbind() {
    comp = untouched_comp();
    return driver_.unbind(handle_, &comp);
}

CS_RETCODE Session::read(const std::string &name, CS_INT length) {
    release_result();
    comp = untouched_comp();
    return driver_.read(handle_, const_cast<CS_CHAR *>(name.c_str()), length, &result_, &comp);
}

CS_RETCODE Session::search() {
    release_result();
    comp = untouched_comp();
    return driver_.search(handle_, nullptr, &result_, &comp);
}

void Session::release_result() {
    veldldap::release_result(result_);
    result_ = nullptr;
}

CS_RETCODE Session::add(const std::string &name, DCL_OBJECT *object, CS_INT length) {
    comp = untouched_comp();
    return driver_.add_entry(handle_, const_cast<CS_CHAR *>(name.c_str()), length, object, &comp);
}

CS_RETCODE Session::modify(const std::string &name, DCL_OBJECT *changes, CS_INT length) {
    comp = untouched_comp();
    return driver_.modify_entry(handle_, const_cast<CS_CHAR *>(name.c_str()), length, changes, &comp);
}

CS_RETCODE Session::remove(const std::string &name, CS_INT length) {
    comp = untouched_comp();
    return driver_.delete_entry(handle_, const_cast<CS_CHAR *>(name.c_str()), length, &comp);
}
