/*
 * Failures as veldir reports them.  A failure is either the driver's report
 * (the DCL_COMP it filled, with the step that failed) or one of the tool's
 * own (driver not loadable, bad value, unreadable file).  explain() turns
 * either into words: the failure code's name, its meaning, the LDAP, system
 * or URL-parser text of the accompanying number, and a hint what to do.
 * The failure-code names are copied from the driver's own table; veldir
 * includes nothing of the driver but its public interface.
 */
#ifndef VELDIR_FAILURE_H
#define VELDIR_FAILURE_H

#include <cstdint>
#include <string>
#include <vector>

#include "veldldap/dspublic.h"
#include "veldldap/failure_codes.h"

// Whether the failure happened while connecting (load, open, bind, unbind)
// or in the directory operation itself; it decides the exit code.
enum class Phase { connection, operation };

struct ServerFailure;

struct Failure {
    std::string step;      // what was being done, e.g. "bind" or "read srv1"
    Phase phase = Phase::operation;
    bool from_driver = false;
    DCL_COMP comp{};       // the driver's report, when from_driver
    std::string message;   // the tool's own description, when not from_driver
    std::string hint;      // the tool's own hint; for the driver's failures, one that replaces the usual hint
    // What veldir found out itself about a driver failure (by probing the
    // server, the CA file or the string); it replaces the code's hint.
    std::string diagnosis;
    // Where the driver's log lines of the failing call lie in its log
    // (driver_log.h); read only when shown, so that a run with many failures
    // keeps two numbers for each.
    std::uintmax_t log_begin = 0;
    std::uintmax_t log_end = 0;
    int exit_code = 0;
    // When a replicated directory's servers were tried one after another
    // and none served: each of them with its failure, in the order tried.
    // The failure's own fields are then those of the last one.
    std::vector<ServerFailure> servers;
};

struct ServerFailure {
    std::size_t number = 0;  // from 1, in the order listed
    std::size_t listed = 0;  // how many servers were listed
    std::string address;     // its URL's scheme, host and port
    Failure failure;
};

Failure driver_failure(std::string step, Phase phase, const DCL_COMP &comp);
Failure tool_failure(std::string step, std::string message, std::string hint, int exit_code);

struct Explanation {
    std::string code_name;  // "DLDAP_ERR_BIND", "DLDAP_STATUS_BAD_OPTION", or "" for the tool's own
    std::string meaning;    // what the code means
    std::string detail;     // text of the accompanying number, may be empty
    std::string hint;       // what to do about it, may be empty
};

Explanation explain(const Failure &failure);

// The directory's answers an update may get for an entry that is there
// already (add) or is not there (read, modify, delete).
bool already_exists(const Failure &failure);
bool no_such_entry(const Failure &failure);

// The name of a failure code ("DLDAP_ERR_NOENTRY"), or "" for an unknown one.
std::string failure_code_name(CS_INT provstatus);

#endif
