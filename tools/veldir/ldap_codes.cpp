#include "ldap_codes.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<LdapCode, 60> kLdapCodes{{
    {0, "success", "Success"},
    {1, "operationsError", "Operations error"},
    {2, "protocolError", "Protocol error"},
    {3, "timeLimitExceeded", "Time limit exceeded"},
    {4, "sizeLimitExceeded", "Size limit exceeded"},
    {5, "compareFalse", "Compare false"},
    {6, "compareTrue", "Compare true"},
    {7, "authMethodNotSupported", "Authentication method not supported"},
    {8, "strongerAuthRequired", "Stronger authentication required"},
    {10, "referral", "Referral"},
    {11, "adminLimitExceeded", "Administrative limit exceeded"},
    {12, "unavailableCriticalExtension", "Critical extension is unavailable"},
    {13, "confidentialityRequired", "Confidentiality required"},
    {14, "saslBindInProgress", "SASL bind in progress"},
    {16, "noSuchAttribute", "No such attribute"},
    {17, "undefinedAttributeType", "Undefined attribute type"},
    {18, "inappropriateMatching", "Inappropriate matching"},
    {19, "constraintViolation", "Constraint violation"},
    {20, "attributeOrValueExists", "Type or value exists"},
    {21, "invalidAttributeSyntax", "Invalid syntax"},
    {32, "noSuchObject", "No such object"},
    {33, "aliasProblem", "Alias problem"},
    {34, "invalidDNSyntax", "Invalid DN syntax"},
    {35, "isLeaf", "Entry is a leaf"},
    {36, "aliasDereferencingProblem", "Alias dereferencing problem"},
    {48, "inappropriateAuthentication", "Inappropriate authentication"},
    {49, "invalidCredentials", "Invalid credentials"},
    {50, "insufficientAccessRights", "Insufficient access"},
    {51, "busy", "Server is busy"},
    {52, "unavailable", "Server is unavailable"},
    {53, "unwillingToPerform", "Server is unwilling to perform"},
    {54, "loopDetect", "Loop detected"},
    {64, "namingViolation", "Naming violation"},
    {65, "objectClassViolation", "Object class violation"},
    {66, "notAllowedOnNonLeaf", "Operation not allowed on non-leaf"},
    {67, "notAllowedOnRDN", "Operation not allowed on RDN"},
    {68, "entryAlreadyExists", "Already exists"},
    {69, "objectClassModsProhibited", "Cannot modify object class"},
    {70, "resultsTooLarge", "Results too large"},
    {71, "affectsMultipleDSAs", "Operation affects multiple DSAs"},
    {80, "other", "Internal (implementation specific) error"},
    {-1, "LDAP_SERVER_DOWN", "Can't contact LDAP server"},
    {-2, "LDAP_LOCAL_ERROR", "Local error"},
    {-3, "LDAP_ENCODING_ERROR", "Encoding error"},
    {-4, "LDAP_DECODING_ERROR", "Decoding error"},
    {-5, "LDAP_TIMEOUT", "Timed out"},
    {-6, "LDAP_AUTH_UNKNOWN", "Unknown authentication method"},
    {-7, "LDAP_FILTER_ERROR", "Bad search filter"},
    {-8, "LDAP_USER_CANCELLED", "User cancelled operation"},
    {-9, "LDAP_PARAM_ERROR", "Bad parameter to an ldap routine"},
    {-10, "LDAP_NO_MEMORY", "Out of memory"},
    {-11, "LDAP_CONNECT_ERROR", "Connect error"},
    {-12, "LDAP_NOT_SUPPORTED", "Not supported"},
    {-13, "LDAP_CONTROL_NOT_FOUND", "Control not found"},
    {-14, "LDAP_NO_RESULTS_RETURNED", "No results returned"},
    {-15, "LDAP_MORE_RESULTS_TO_RETURN", "More results to return"},
    {-16, "LDAP_CLIENT_LOOP", "Client loop"},
    {-17, "LDAP_REFERRAL_LIMIT_EXCEEDED", "Referral limit exceeded"},
    {-18, "LDAP_X_CONNECTING", "Connecting"},
    {118, "canceled", "Cancelled"},
}};

struct UrlCode {
    int number;
    std::string_view name;
    std::string_view text;
};

constexpr std::array<UrlCode, 10> kUrlCodes{{
    {1, "LDAP_URL_ERR_MEM", "the URL parser ran out of memory"},
    {2, "LDAP_URL_ERR_PARAM", "no URL was given"},
    {3, "LDAP_URL_ERR_BADSCHEME", "no URL beginning with ldap://, ldaps:// or ldapi:// was found"},
    {4, "LDAP_URL_ERR_BADENCLOSURE", "the URL lacks its closing \">\""},
    {5, "LDAP_URL_ERR_BADURL", "the URL is malformed"},
    {6, "LDAP_URL_ERR_BADHOST", "the host or port of the URL is malformed"},
    {7, "LDAP_URL_ERR_BADATTRS", "the attribute field of the URL is malformed"},
    {8, "LDAP_URL_ERR_BADSCOPE", "the scope field of the URL is not base, one or sub"},
    {9, "LDAP_URL_ERR_BADFILTER", "the filter field of the URL is malformed"},
    {10, "LDAP_URL_ERR_BADEXTS", "the extension field of the URL is malformed"},
}};

}  // namespace

const LdapCode *find_ldap_code(int number) {
    const auto found = std::find_if(kLdapCodes.begin(), kLdapCodes.end(),
                                    [number](const LdapCode &code) { return code.number == number; });
    return found == kLdapCodes.end() ? nullptr : &*found;
}

std::string describe_ldap_code(int number) {
    const LdapCode *code = find_ldap_code(number);
    if (code == nullptr) return "LDAP error " + std::to_string(number);
    return std::to_string(number) + " " + std::string(code->name) + ": " + std::string(code->text);
}

std::string describe_url_parse_code(int number) {
    for (const UrlCode &code : kUrlCodes)
        if (code.number == number)
            return std::to_string(number) + " " + std::string(code.name) + ": " + std::string(code.text);
    return "URL parser code " + std::to_string(number);
}
