#include "failure.h"

#include <array>
#include <cstring>
#include <string_view>
#include <utility>

#include "exit_codes.h"
#include "ldap_codes.h"

namespace {

// What the number that accompanies a failure code (dcl_oserr) is.
enum class Accompanying { nothing, system_errno, ldap_code, url_parser_code };

struct FailureCode {
    CS_INT code;
    std::string_view name;
    std::string_view meaning;
    Accompanying oserr;
    std::string_view hint;
};

constexpr CS_INT kBadOptionStatus = 21;  // dcl_status of a rejected initialisation-string option

constexpr std::array<FailureCode, 19> kFailureCodes{{
    {1, "DLDAP_ERR_NOMEM", "the driver ran out of memory", Accompanying::system_errno,
     "free some memory and try again"},
    {2, "DLDAP_ERR_LOADLIB", "the LDAP client library could not be loaded, or lacks an entry point",
     Accompanying::system_errno,
     "check that lib3p64/libvelmorldap64.so.15.5.0 beside the driver points to the OpenLDAP client "
     "library; libveldldap.log in the working directory names what was missing"},
    {4, "DLDAP_ERR_INITSTR", "the initialisation string is unusable", Accompanying::url_parser_code,
     "the form is: [retry=N] [delay=N] [starttls] ldap://HOST:PORT/BASE-DN????bindname=BIND-DN?PASSWORD; "
     "scheme, port and base DN are required, the first extension must begin with bindname="},
    {5, "DLDAP_ERR_EINTR", "a bind or search was interrupted by a signal", Accompanying::system_errno,
     "try again"},
    {6, "DLDAP_ERR_INVALID", "the driver met data it cannot handle", Accompanying::ldap_code,
     "check the attribute values; libveldldap.log in the working directory has the details"},
    {7, "DLDAP_ERR_NOENTRY", "no entry was found", Accompanying::ldap_code,
     "check the server name and the search base (the URL's base DN, or --base)"},
    {8, "DLDAP_ERR_PROPS", "a session property could not be read or set", Accompanying::nothing,
     "a property text may be at most 512 characters"},
    {9, "DLDAP_ERR_LDAPINIT", "the LDAP session could not be created", Accompanying::ldap_code,
     "check the scheme, host and port of the URL"},
    {10, "DLDAP_ERR_BIND", "the bind was refused, or could not be sent", Accompanying::ldap_code,
     "check the bind DN (bindname=) and the password of the initialisation string"},
    {11, "DLDAP_ERR_UNBIND", "unbinding from the directory failed", Accompanying::ldap_code,
     "the connection was probably lost already; nothing to do"},
    {12, "DLDAP_ERR_SEARCH", "the search failed", Accompanying::ldap_code,
     "libveldldap.log in the working directory has the details"},
    {13, "DLDAP_ERR_UPDATE", "the directory refused the add or modify", Accompanying::ldap_code,
     "check the entry's name and values against the directory's schema"},
    {14, "DLDAP_ERR_DELETE", "the directory refused the delete", Accompanying::ldap_code,
     "check the entry's name"},
    {15, "DLDAP_ERR_ACCESS", "the directory refused access", Accompanying::ldap_code,
     "bind as a user that may do this (bindname= in the initialisation string), or ask the "
     "directory's administrator for the rights"},
    {16, "DLDAP_ERR_TIMEOUT", "the time limit passed while waiting for the server", Accompanying::ldap_code,
     "check that the server answers, or raise the limit with --timelimit or timelimit = in libdsv.cfg"},
    {17, "DLDAP_ERR_RESULT", "waiting for the server's answer failed", Accompanying::ldap_code,
     "check the host and port of the URL and that the directory server runs"},
    {18, "DLDAP_ERR_PARSE", "the server's answer could not be read, or the server refused StartTLS",
     Accompanying::ldap_code,
     "if the server refused StartTLS, enable TLS on the server or remove starttls from the "
     "initialisation string"},
    {19, "DLDAP_ERR_STARTTLS", "StartTLS failed: request, response or TLS handshake", Accompanying::ldap_code,
     "check that the CA file (--ca or ca = in libdsv.cfg) signed the server's certificate, and that the "
     "certificate names the host of the URL"},
    {20, "DLDAP_ERR_OPTION", "an LDAP option could not be set (CA certificate file or protocol version)",
     Accompanying::ldap_code, "check that the CA file given with --ca or ca = exists and is readable"},
}};

// Hints that fit one accompanying number of one code better than the general one.
struct SpecificHint {
    CS_INT code;
    CS_INT oserr;
    std::string_view hint;
};

constexpr std::string_view kServerDownHint =
    "the server is not reachable: check the host and port of the URL and that the directory server runs";

constexpr std::array<SpecificHint, 16> kSpecificHints{{
    {7, 32, "the search base does not exist in the directory: check the URL's base DN, or --base"},
    {10, 49, "wrong bind DN or password: check bindname= and the password in the initialisation string"},
    {10, -1, kServerDownHint},
    {10, 13, "the server requires TLS: add starttls before the URL in the initialisation string"},
    {10, 48, "the server does not allow this kind of bind, e.g. an anonymous one: give bindname= and a password"},
    {10, 53, "the server is unwilling to bind, e.g. a bind DN without a password"},
    {12, -1, kServerDownHint},
    {12, 3, "the server's own time limit passed: narrow the search or raise the server's limit"},
    {13, 68, "the entry exists already: use modify to change it"},
    {13, 32, "the entry (modify) or its parent (add) does not exist: check the name and the base DN"},
    {13, 17, "the server does not know the attribute: load the velmor schema into the directory server"},
    {13, 21, "a value does not fit its attribute's syntax"},
    {13, 65, "an attribute is missing or not allowed: check the values against the velmor schema"},
    {14, 32, "there is no entry of that name below the search base"},
    {14, 66, "the entry has entries below it: delete those first"},
    {17, -1, kServerDownHint},
}};

const FailureCode *find_code(CS_INT code) {
    for (const FailureCode &entry : kFailureCodes)
        if (entry.code == code) return &entry;
    return nullptr;
}

std::string_view specific_hint(CS_INT code, CS_INT oserr) {
    for (const SpecificHint &entry : kSpecificHints)
        if (entry.code == code && entry.oserr == oserr) return entry.hint;
    return {};
}

std::string describe_oserr(Accompanying kind, CS_INT oserr) {
    switch (kind) {
    case Accompanying::nothing:
        return {};
    case Accompanying::system_errno:
        return oserr == 0 ? std::string() : "errno " + std::to_string(oserr) + ": " + std::strerror(oserr);
    case Accompanying::ldap_code:
        return oserr == 0 ? std::string() : "LDAP " + describe_ldap_code(oserr);
    case Accompanying::url_parser_code:
        return oserr == 0 ? std::string() : describe_url_parse_code(oserr);
    }
    return {};
}

int exit_code_for(Phase phase, const DCL_COMP &comp) {
    if (comp.dcl_status == kBadOptionStatus) return kExitConfiguration;
    switch (comp.dcl_provstatus) {
    case 1:   // memory
    case 8:   // properties: the tool checks lengths first
    case 0:   // failed without a report
        return kExitInternal;
    case 6:   // a bad handle while connecting is the tool's fault; later, the data's
        return phase == Phase::connection ? kExitInternal : kExitOperationFailed;
    case 7:
    case 12:
    case 13:
    case 14:
    case 15:
        return phase == Phase::operation ? kExitOperationFailed : kExitConfiguration;
    default:
        return kExitConfiguration;
    }
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

std::string failure_code_name(CS_INT provstatus) {
    const FailureCode *code = find_code(provstatus);
    return code == nullptr ? std::string() : std::string(code->name);
}

Explanation explain(const Failure &failure) {
    if (!failure.from_driver) return {"", failure.message, "", failure.hint};
    const DCL_COMP &comp = failure.comp;
    if (comp.dcl_status == kBadOptionStatus)
        return {"DLDAP_STATUS_BAD_OPTION", "the initialisation string has an option the driver refuses", "",
                "options before the URL are retry=N, delay=N (N a decimal number) and starttls; "
                "starttls cannot be used with an ldaps:// URL; the string must not begin with a blank"};
    if (comp.dcl_provstatus == 0)
        return {"no failure code", "the driver failed without filling its report", "",
                "libveldldap.log in the working directory has the details"};
    const FailureCode *code = find_code(comp.dcl_provstatus);
    if (code == nullptr)
        return {"dcl_provstatus " + std::to_string(comp.dcl_provstatus),
                "the driver failed with a code veldir does not know", describe_oserr(Accompanying::ldap_code, comp.dcl_oserr),
                "libveldldap.log in the working directory has the details"};
    std::string_view hint = specific_hint(code->code, comp.dcl_oserr);
    if (hint.empty()) hint = code->hint;
    return {std::string(code->name), std::string(code->meaning), describe_oserr(code->oserr, comp.dcl_oserr),
            std::string(hint)};
}
