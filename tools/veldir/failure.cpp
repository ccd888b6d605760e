#include "failure.h"

#include <ldap.h>

#include <cstring>
#include <string_view>
#include <utility>

#include "exit_codes.h"
#include "ldap_codes.h"
#include "veldldap/failure_codes.h"

namespace {

// What to do about each failure code; names and meanings come from the
// public failure-code table.
struct CodeHint {
    CS_INT code;
    std::string_view hint;
};

constexpr CodeHint kCodeHints[] = {
    {DLDAP_ERR_NOMEM, "free some memory and try again"},
    {DLDAP_ERR_LOADLIB,
     "check that lib3p64/libvelmorldap64.so.15.5.0 beside the driver points to the OpenLDAP client "
     "library; the driver's log names what was missing"},
    {DLDAP_ERR_INITSTR,
     "the form is: [retry=N] [delay=N] [starttls] ldap://HOST:PORT/BASE-DN????bindname=BIND-DN?PASSWORD; "
     "scheme, port and base DN are required, the first extension must begin with bindname="},
    {DLDAP_ERR_EINTR, "try again"},
    {DLDAP_ERR_INVALID, "check the attribute values; the driver's log has the details"},
    {DLDAP_ERR_NOENTRY, "check the server name and the search base (the URL's base DN, or --base)"},
    {DLDAP_ERR_PROPS, "a property text may be at most 512 characters"},
    {DLDAP_ERR_LDAPINIT, "check the scheme, host and port of the URL"},
    {DLDAP_ERR_BIND, "check the bind DN (bindname=) and the password of the initialisation string"},
    {DLDAP_ERR_UNBIND, "the connection was probably lost already; nothing to do"},
    {DLDAP_ERR_SEARCH, "the driver's log has the details"},
    {DLDAP_ERR_UPDATE, "check the entry's name and values against the directory's schema"},
    {DLDAP_ERR_DELETE, "check the entry's name"},
    {DLDAP_ERR_ACCESS,
     "bind as a user that may do this (bindname= in the initialisation string), or ask the "
     "directory's administrator for the rights"},
    {DLDAP_ERR_TIMEOUT,
     "check that the server answers, or raise the limit with --timelimit or timelimit = in libdsv.cfg"},
    {DLDAP_ERR_RESULT, "check the host and port of the URL and that the directory server runs"},
    {DLDAP_ERR_PARSE,
     "if the server refused StartTLS, enable TLS on the server or remove starttls from the "
     "initialisation string"},
    {DLDAP_ERR_STARTTLS,
     "check that the CA file (--ca or ca = in libdsv.cfg) signed the server's certificate, and that the "
     "certificate names the host of the URL"},
    {DLDAP_ERR_OPTION, "check that the CA file given with --ca or ca = exists and is readable"},
};

// Hints that fit one accompanying number of one code better than the general one.
struct SpecificHint {
    CS_INT code;
    CS_INT oserr;
    std::string_view hint;
};

constexpr std::string_view kServerDownHint =
    "the server is not reachable: check the host and port of the URL and that the directory server runs";

constexpr SpecificHint kSpecificHints[] = {
    {DLDAP_ERR_NOENTRY, LDAP_NO_SUCH_OBJECT, "the search base does not exist in the directory: check the URL's base DN, or --base"},
    {DLDAP_ERR_BIND, LDAP_INVALID_CREDENTIALS, "wrong bind DN or password: check bindname= and the password in the initialisation string"},
    {DLDAP_ERR_BIND, LDAP_SERVER_DOWN, kServerDownHint},
    {DLDAP_ERR_BIND, LDAP_CONFIDENTIALITY_REQUIRED, "the server requires TLS: add starttls before the URL in the initialisation string"},
    {DLDAP_ERR_BIND, LDAP_INAPPROPRIATE_AUTH, "the server does not allow this kind of bind, e.g. an anonymous one: give bindname= and a password"},
    {DLDAP_ERR_BIND, LDAP_UNWILLING_TO_PERFORM, "the server is unwilling to bind, e.g. a bind DN without a password"},
    {DLDAP_ERR_SEARCH, LDAP_SERVER_DOWN, kServerDownHint},
    {DLDAP_ERR_SEARCH, LDAP_TIMELIMIT_EXCEEDED, "the server's own time limit passed: narrow the search or raise the server's limit"},
    {DLDAP_ERR_UPDATE, LDAP_SERVER_DOWN, "the connection to the directory was lost: check that the directory server runs and is reachable"},
    {DLDAP_ERR_DELETE, LDAP_SERVER_DOWN, "the connection to the directory was lost: check that the directory server runs and is reachable"},
    {DLDAP_ERR_UPDATE, LDAP_ALREADY_EXISTS, "the entry exists already: use modify to change it"},
    {DLDAP_ERR_UPDATE, LDAP_NO_SUCH_OBJECT, "the entry (modify) or its parent (add) does not exist: check the name and the base DN"},
    {DLDAP_ERR_UPDATE, LDAP_UNDEFINED_TYPE, "the server does not know the attribute: load the velmor schema into the directory server"},
    {DLDAP_ERR_UPDATE, LDAP_INVALID_SYNTAX, "a value does not fit its attribute's syntax"},
    {DLDAP_ERR_UPDATE, LDAP_OBJECT_CLASS_VIOLATION, "an attribute is missing or not allowed: check the values against the velmor schema"},
    {DLDAP_ERR_DELETE, LDAP_NO_SUCH_OBJECT, "there is no entry of that name below the search base"},
    {DLDAP_ERR_DELETE, LDAP_NOT_ALLOWED_ON_NONLEAF, "the entry has entries below it: delete those first"},
    {DLDAP_ERR_RESULT, LDAP_SERVER_DOWN, kServerDownHint},
};

std::string_view code_hint(CS_INT code) {
    for (const CodeHint &entry : kCodeHints)
        if (entry.code == code) return entry.hint;
    return {};
}

std::string_view specific_hint(CS_INT code, CS_INT oserr) {
    for (const SpecificHint &entry : kSpecificHints)
        if (entry.code == code && entry.oserr == oserr) return entry.hint;
    return {};
}

std::string describe_oserr(CS_INT kind, CS_INT oserr) {
    if (oserr == 0) return {};
    switch (kind) {
    case VELDLDAP_OSERR_ERRNO: return "errno " + std::to_string(oserr) + ": " + std::strerror(oserr);
    case VELDLDAP_OSERR_LDAP: return "LDAP " + describe_ldap_code(oserr);
    case VELDLDAP_OSERR_URL_PARSER: return describe_url_parse_code(oserr);
    default: return {};
    }
}

int exit_code_for(Phase phase, const DCL_COMP &comp) {
    if (comp.dcl_status == DLDAP_STATUS_BAD_OPTION) return kExitConfiguration;
    switch (comp.dcl_provstatus) {
    case DLDAP_ERR_NOMEM:
    case DLDAP_ERR_PROPS:  // the tool checks lengths first
    case 0:                // failed without a report
        return kExitInternal;
    case DLDAP_ERR_INVALID:  // a bad handle while connecting is the tool's fault; later, the data's
        return phase == Phase::connection ? kExitInternal : kExitOperationFailed;
    case DLDAP_ERR_NOENTRY:
    case DLDAP_ERR_SEARCH:
    case DLDAP_ERR_UPDATE:
    case DLDAP_ERR_DELETE:
    case DLDAP_ERR_ACCESS:
        return phase == Phase::operation ? kExitOperationFailed : kExitConfiguration;
    default:
        return kExitConfiguration;
    }
}

// The report in words, before what veldir found out itself.
Explanation explain_report(const Failure &failure) {
    if (!failure.from_driver) return {"", failure.message, "", failure.hint};
    const DCL_COMP &comp = failure.comp;
    if (comp.dcl_status == DLDAP_STATUS_BAD_OPTION)
        return {"DLDAP_STATUS_BAD_OPTION", DLDAP_STATUS_BAD_OPTION_MEANING, "",
                "options before the URL are retry=N, delay=N (N a decimal number) and starttls; "
                "starttls cannot be used with an ldaps:// URL; the string must not begin with a blank"};
    if (comp.dcl_provstatus == 0)
        return {"no failure code", "the driver failed without filling its report", "",
                "the driver's log has the details"};
    const VELDLDAP_FAILURE_CODE *code = veldldap_failure_code(comp.dcl_provstatus);
    if (code == nullptr)
        return {"dcl_provstatus " + std::to_string(comp.dcl_provstatus),
                "the driver failed with a code veldir does not know", describe_oserr(VELDLDAP_OSERR_LDAP, comp.dcl_oserr),
                "the driver's log has the details"};
    // A command that knows its situation better gives its own hint.
    std::string_view hint = failure.hint;
    if (hint.empty()) hint = specific_hint(code->code, comp.dcl_oserr);
    if (hint.empty()) hint = code_hint(code->code);
    return {code->symbol, code->meaning, describe_oserr(code->oserr_kind, comp.dcl_oserr), std::string(hint)};
}

}  // namespace

Failure driver_failure(std::string step, Phase phase, const DCL_COMP &comp) {
    Failure failure;
    failure.step = std::move(step);
    failure.phase = phase;
    failure.from_driver = true;
    failure.comp = comp;
    failure.exit_code = exit_code_for(phase, comp);
    return failure;
}

Failure tool_failure(std::string step, std::string message, std::string hint, int exit_code) {
    Failure failure;
    failure.step = std::move(step);
    failure.message = std::move(message);
    failure.hint = std::move(hint);
    failure.exit_code = exit_code;
    return failure;
}

bool already_exists(const Failure &failure) {
    return failure.from_driver && failure.comp.dcl_oserr == LDAP_ALREADY_EXISTS;
}

bool no_such_entry(const Failure &failure) {
    return failure.from_driver &&
           (failure.comp.dcl_provstatus == DLDAP_ERR_NOENTRY || failure.comp.dcl_oserr == LDAP_NO_SUCH_OBJECT);
}

std::string failure_code_name(CS_INT provstatus) {
    const VELDLDAP_FAILURE_CODE *code = veldldap_failure_code(provstatus);
    return code == nullptr ? std::string() : std::string(code->symbol);
}


Explanation explain(const Failure &failure) {
    Explanation explanation = explain_report(failure);
    if (!failure.diagnosis.empty()) explanation.hint = failure.diagnosis;
    return explanation;
}
