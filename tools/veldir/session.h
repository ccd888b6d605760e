/*
 * One driver session as veldir holds it: the host's session properties, the
 * handle, and the calls in the order the driver expects (open, bind, any
 * operations, unbind, close).  Every call returns nothing on success or the
 * failure with the driver's report.  Results are copied into Entry records
 * and released through dcl_result_drop at once.  The destructor unbinds a
 * session whose bind was tried (a failed bind may keep its LDAP session)
 * and closes it.
 */
#ifndef VELDIR_SESSION_H
#define VELDIR_SESSION_H

#include <signal.h>

#include <optional>
#include <string>
#include <vector>

#include "config.h"
#include "dcl_object.h"
#include "driver_loader.h"
#include "driver_log.h"
#include "entry.h"
#include "entry_names.h"
#include "failure.h"

using Outcome = std::optional<Failure>;  // nullopt: success

// A request written to a connection the server has closed raises SIGPIPE
// in the writing thread, which would end veldir (or, in the demo, read as
// a reader gone away).  Held off around each driver call, the write fails
// instead and the driver reports the lost connection; a SIGPIPE the call
// raised is discarded before the signal is let through again.
class BrokenPipeHeld {
public:
    BrokenPipeHeld();
    ~BrokenPipeHeld();
    BrokenPipeHeld(const BrokenPipeHeld &) = delete;
    BrokenPipeHeld &operator=(const BrokenPipeHeld &) = delete;

private:
    sigset_t previous_;
};

class Session {
public:
    // A session to the server of `init`, one of settings.inits.
    Session(const DriverLibrary &driver, const ConnectionSettings &settings, std::string init);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    Outcome open();
    Outcome bind();
    Outcome unbind();
    Outcome close();

    // Session properties (gdd_props).  The password is never read back: the
    // driver logs every property text it hands out.
    Outcome get_property(CS_INT property, std::string &value);
    Outcome set_search_base(const std::string &base);

    // The search base the driver places server names below.
    Outcome search_base(std::string &base);

    // The entry of a whole DN (the driver then searches that one entry, and
    // does not build a name itself); steps are named by the shown name.
    Outcome read(const EntryName &name, std::vector<Entry> &entries);
    // By server name, one level below the base; the driver puts the name
    // into its filter as it is, so "*" in it is the directory's wildcard.
    Outcome read_server_name(const std::string &server_name, std::vector<Entry> &entries);
    // Lists the entries below the base; finding none is success with no entries.
    Outcome search(std::vector<Entry> &entries);
    Outcome add(const EntryName &name, ObjectBuilder &object);
    Outcome modify(const EntryName &name, ObjectBuilder &object);
    Outcome remove(const EntryName &name);

    CS_INT interface_version() const { return version_; }
    bool is_open() const { return handle_ != nullptr; }

private:
    // gdd_read of `text` (a DN or a server name); `shown` names it in a failure.
    Outcome read_text(std::string text, const std::string &shown, std::vector<Entry> &entries);
    // gdd_props with DCL_ACTION_GET into `buffer`.
    Outcome fetch_property(CS_INT property, char *buffer, CS_INT size, CS_INT &length);
    // Before each driver call: a fresh report, the call's time limit, the
    // log's mark; and SIGPIPE held off for as long as the returned guard lives.
    [[nodiscard]] BrokenPipeHeld begin_call();
    // A failed call's report with the driver's log lines of it.
    Failure reported_failure(const std::string &step, Phase phase, const DCL_COMP &comp) const;
    Outcome finish(CS_RETCODE result, const std::string &step, Phase phase) const;
    Outcome take_result(CS_RETCODE result, DCL_RESULT *&dcl_result, const std::string &step,
                        std::vector<Entry> &entries, bool none_is_success);

    const DriverLibrary &driver_;
    std::string init_;
    int configured_timelimit_ = 0;  // --timelimit or timelimit =
    DCL_SESS_PROPS properties_{};
    CS_VOID *handle_ = nullptr;
    CS_INT version_ = 0;
    bool bind_tried_ = false;
    mutable DCL_COMP comp_{};
    driver_log::Mark log_mark_ = 0;
};

#endif
