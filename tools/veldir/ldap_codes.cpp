#include "ldap_codes.h"

#include <ldap.h>

#include <string_view>

#include "veldldap/failure_codes.h"

namespace {

// The names the protocol and the client library give the codes; the client
// library has texts for them (ldap_err2string) but no names, and a name is
// what a user looks up.
struct CodeName {
    int number;
    std::string_view name;
};

constexpr CodeName kCodeNames[] = {
    {LDAP_SUCCESS, "success"},
    {LDAP_OPERATIONS_ERROR, "operationsError"},
    {LDAP_PROTOCOL_ERROR, "protocolError"},
    {LDAP_TIMELIMIT_EXCEEDED, "timeLimitExceeded"},
    {LDAP_SIZELIMIT_EXCEEDED, "sizeLimitExceeded"},
    {LDAP_AUTH_METHOD_NOT_SUPPORTED, "authMethodNotSupported"},
    {LDAP_STRONG_AUTH_REQUIRED, "strongerAuthRequired"},
    {LDAP_REFERRAL, "referral"},
    {LDAP_ADMINLIMIT_EXCEEDED, "adminLimitExceeded"},
    {LDAP_UNAVAILABLE_CRITICAL_EXTENSION, "unavailableCriticalExtension"},
    {LDAP_CONFIDENTIALITY_REQUIRED, "confidentialityRequired"},
    {LDAP_NO_SUCH_ATTRIBUTE, "noSuchAttribute"},
    {LDAP_UNDEFINED_TYPE, "undefinedAttributeType"},
    {LDAP_INAPPROPRIATE_MATCHING, "inappropriateMatching"},
    {LDAP_CONSTRAINT_VIOLATION, "constraintViolation"},
    {LDAP_TYPE_OR_VALUE_EXISTS, "attributeOrValueExists"},
    {LDAP_INVALID_SYNTAX, "invalidAttributeSyntax"},
    {LDAP_NO_SUCH_OBJECT, "noSuchObject"},
    {LDAP_INVALID_DN_SYNTAX, "invalidDNSyntax"},
    {LDAP_INAPPROPRIATE_AUTH, "inappropriateAuthentication"},
    {LDAP_INVALID_CREDENTIALS, "invalidCredentials"},
    {LDAP_INSUFFICIENT_ACCESS, "insufficientAccessRights"},
    {LDAP_BUSY, "busy"},
    {LDAP_UNAVAILABLE, "unavailable"},
    {LDAP_UNWILLING_TO_PERFORM, "unwillingToPerform"},
    {LDAP_NAMING_VIOLATION, "namingViolation"},
    {LDAP_OBJECT_CLASS_VIOLATION, "objectClassViolation"},
    {LDAP_NOT_ALLOWED_ON_NONLEAF, "notAllowedOnNonLeaf"},
    {LDAP_NOT_ALLOWED_ON_RDN, "notAllowedOnRDN"},
    {LDAP_ALREADY_EXISTS, "entryAlreadyExists"},
    {LDAP_NO_OBJECT_CLASS_MODS, "objectClassModsProhibited"},
    {LDAP_OTHER, "other"},
    {LDAP_SERVER_DOWN, "LDAP_SERVER_DOWN"},
    {LDAP_LOCAL_ERROR, "LDAP_LOCAL_ERROR"},
    {LDAP_ENCODING_ERROR, "LDAP_ENCODING_ERROR"},
    {LDAP_DECODING_ERROR, "LDAP_DECODING_ERROR"},
    {LDAP_TIMEOUT, "LDAP_TIMEOUT"},
    {LDAP_PARAM_ERROR, "LDAP_PARAM_ERROR"},
    {LDAP_NO_MEMORY, "LDAP_NO_MEMORY"},
    {LDAP_CONNECT_ERROR, "LDAP_CONNECT_ERROR"},
};

std::string_view name_of(int number) {
    for (const CodeName &code : kCodeNames)
        if (code.number == number) return code.name;
    return {};
}

}  // namespace

std::string describe_ldap_code(int number) {
    std::string text = std::to_string(number);
    if (const std::string_view name = name_of(number); !name.empty()) text += " " + std::string(name);
    return text + ": " + ldap_err2string(number);
}

std::string describe_url_parse_code(int number) {
    const VELDLDAP_URL_PARSER_CODE *code = veldldap_url_parser_code(number);
    if (code == nullptr) return "URL parser code " + std::to_string(number);
    std::string text = "URL parser code " + std::to_string(number);
    if (*code->logged_name != '\0') text += std::string(" (logged as ") + code->logged_name + ")";
    return text + ": " + code->meaning;
}
