/*
 * Opening sessions through the built driver (or, for tests that steer the
 * driver's internals, through its objects linked into the test), for tests:
 * the initialisation string, the host's properties and the completion record
 * kept together, closed (after an unbind) when the test ends.  A process must
 * not use both: each copy truncates the log when it first writes to it.
 */
#ifndef VELDLDAP_SESSION_H
#define VELDLDAP_SESSION_H

#include <string>
#include <tuple>

#include "driver_library.h"
#include "ldap_drv.h"
#include "veldldap/dspublic.h"

class Session {
public:
    explicit Session(const std::string &init_string, int timelimit = 0, const std::string &ca = "",
                     const veldldap::DriverLibrary *library = nullptr);
    ~Session() { close(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool opened() const { return handle_ != nullptr; }
    CS_VOID *handle() const { return handle_; }
    DLDAP_HANDLE &state() const { return *static_cast<DLDAP_HANDLE *>(handle_); }
    DCL_SESS_PROPS &properties() { return properties_; }

    void close();  // unbinds first; the session may be closed before the end
    CS_RETCODE bind();
    CS_RETCODE unbind();
    // Reads or searches; the result is released by the next call or at the end.
    CS_RETCODE read(const std::string &name, CS_INT length = CS_NULLTERM);
    CS_RETCODE search();
    DCL_RESULT *result() const { return result_; }
    void release_result();
    // The entry of a server name (or a distinguished name).
    CS_RETCODE add(const std::string &name, DCL_OBJECT *object, CS_INT length = CS_NULLTERM);
    CS_RETCODE modify(const std::string &name, DCL_OBJECT *changes, CS_INT length = CS_NULLTERM);
    CS_RETCODE remove(const std::string &name, CS_INT length = CS_NULLTERM);

    DCL_COMP comp;       // of the last call
    CS_RETCODE opened_with;
    CS_INT version = -1;

private:
    const veldldap::DriverLibrary &driver_;
    DCL_SESS_PROPS properties_;
    CS_VOID *handle_ = nullptr;
    DCL_RESULT *result_ = nullptr;
};

// A completion record as (status, provstatus, oserr), to compare in one go.
inline std::tuple<CS_INT, CS_INT, CS_INT> codes(const DCL_COMP &comp) {
    return {comp.dcl_status, comp.dcl_provstatus, comp.dcl_oserr};
}

#endif
