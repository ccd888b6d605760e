// Conversion of single attribute values between LDAP text and the host's
// DCL_ATTRVALUE, chosen by the attribute's syntax code.  Transport addresses
// have their own text form "type#access#address"; on writing, addresses of
// the TCP family are normalised to "host port [netfilter]".
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "ldap_schema.h"

namespace {

// Reads a decimal number the way atoi does (leading white space, optional
// sign, digits up to the first other character, none gives 0), but clamps
// texts outside the 32-bit range to its ends instead of overflowing.
CS_INT read_decimal(const char *text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit) {
            magnitude = limit;
            while (text[1] >= '0' && text[1] <= '9') ++text;
        }
    }
    return static_cast<CS_INT>(negative ? -magnitude : magnitude);
}

CS_RETCODE read_text(DCL_STRING *string, const char *text, DCL_COMP *compp) {
    const std::size_t length = std::strlen(text);
    auto *copy = static_cast<CS_CHAR *>(gdd__calloc(length + 1, 1));
    if (copy == nullptr) {
        GDD_LOG("*** Memory allocation failed! ***\n");
        return gdd__dldap_error(compp, DLDAP_ERR_NOMEM, errno);
    }
    std::memcpy(copy, text, length);
    string->dcl_stringp = copy;
    string->dcl_length = static_cast<CS_INT>(length);
    return CS_SUCCEED;
}

// A host record's fixed text field, which need not hold a terminator.
std::string_view field_text(const CS_CHAR *field, std::size_t size) {
    return {field, strnlen(field, size)};
}

bool is_tcp_family(std::string_view type) {
    constexpr std::string_view kMarks[] = {"tcp", "TCP", "QRWINET"};
    for (std::string_view mark : kMarks)
        if (type.find(mark) != std::string_view::npos) return true;
    return false;
}

struct AddressText {
    const char *type;
    char address[GDD_TEXT_SIZE];
};

// Rebuilds a TCP-family address as host, port and the rest ("netfilter"),
// separated by single blanks.  `working` is the address text and is cut up.
void normalise_tcp_address(char *working, AddressText *out) {
    out->type = "TCP";
    char *save = nullptr;
    const char *host = strtok_r(working, " ,", &save);
    if (host == nullptr) {
        GDD_LOG("Attempt to parse the dcl_tranaddress field failed\n");
        std::snprintf(out->address, sizeof out->address, "%s", working);
        return;
    }
    GDD_LOG("host = \"%s\"\n", host);
    const char *port = strtok_r(nullptr, " ,", &save);
    if (port == nullptr) {
        // The host's terminator now ends the text: separators in front stay.
        std::snprintf(out->address, sizeof out->address, "%s", working);
        return;
    }
    GDD_LOG("port = \"%s\"\n", port);
    // An empty delimiter set yields everything after the port's separator.
    const char *netfilter = strtok_r(nullptr, "", &save);
    if (netfilter != nullptr) {
        out->type = "tcp";
        std::snprintf(out->address, sizeof out->address, "%s %s %s", host, port, netfilter);
    } else {
        std::snprintf(out->address, sizeof out->address, "%s %s", host, port);
    }
    GDD_LOG("tranaddress = \"%s\"\n", out->address);
}

}  // namespace

CS_RETCODE gdd__get_dcl_value(DCL_ATTRVALUE *attrvalue, char *valuep, CS_INT attrsyntax,
                              DCL_COMP *compp) {
    GDD_LOG("------ value: %s\n", valuep);
    switch (attrsyntax) {
    case DCL_SYNTAX_INTEGER:
        GDD_LOG("* Retrieving integer value %s\n", valuep);
        attrvalue->dcl_integer = read_decimal(valuep);
        GDD_LOG("* Retrieved integer value %i\n", attrvalue->dcl_integer);
        return CS_SUCCEED;
    case DCL_SYNTAX_STRING:
    case DCL_SYNTAX_OID:
        return read_text(&attrvalue->dcl_string, valuep, compp);
    case DCL_SYNTAX_TRANADDR:
        return gdd__get_dcl_tranaddr(&attrvalue->dcl_tranaddr, valuep);
    default:
        GDD_LOG("The specified DCL_SYNTAX is not supported (Yet)\n");
        return gdd__dldap_error(compp, DLDAP_ERR_INVALID, 0);
    }
}

CS_RETCODE gdd__get_dcl_tranaddr(DCL_TRANADDR *tranaddr, char *addressAttribute) {
    GDD_REQUIRE(addressAttribute != nullptr);
    GDD_LOG("  gdd__get_dcl_tranaddr: addressAttribute = %s\n", addressAttribute);
    char *save = nullptr;
    const char *type = strtok_r(addressAttribute, "#", &save);
    // The one-blank text stands for a missing address: refused, like no text.
    if (type == nullptr || type[0] == ' ') return CS_FAIL;
    gdd__copy_string(tranaddr->dcl_trantype, sizeof tranaddr->dcl_trantype, type, CS_NULLTERM);

    const char *access = strtok_r(nullptr, "#", &save);
    tranaddr->dcl_accesstype = access ? read_decimal(access) : 0;
    const char *address = access ? strtok_r(nullptr, "#", &save) : nullptr;
    if (address != nullptr)
        gdd__copy_string(tranaddr->dcl_tranaddress, sizeof tranaddr->dcl_tranaddress, address,
                         CS_NULLTERM);
    else
        tranaddr->dcl_tranaddress[0] = '\0';
    return CS_SUCCEED;
}

CS_RETCODE gdd__get_ldap_value_string(char *thisLdapValuep, CS_INT bufsize,
                                      const DCL_ATTRVALUE *this_dcl_valuep, CS_INT dcl_attrsyntax) {
    const bool has_room = thisLdapValuep != nullptr && bufsize >= 1;
    switch (dcl_attrsyntax) {
    case DCL_SYNTAX_INTEGER:
        if (!has_room) return CS_FAIL;
        std::snprintf(thisLdapValuep, static_cast<std::size_t>(bufsize), "%i",
                      this_dcl_valuep ? this_dcl_valuep->dcl_integer : 0);
        return CS_SUCCEED;
    case DCL_SYNTAX_STRING:
    case DCL_SYNTAX_OID: {
        if (!has_room) return CS_FAIL;
        // A value without text (no value, or no characters) is the empty text.
        const DCL_STRING *string = this_dcl_valuep ? &this_dcl_valuep->dcl_string : nullptr;
        const bool has_text = string != nullptr && string->dcl_stringp != nullptr &&
                              (string->dcl_length >= 0 || string->dcl_length == CS_NULLTERM);
        GDD_LOG("this_dcl_valuep->dcl_string.dcl_length = %i\n", string ? string->dcl_length : 0);
        gdd__copy_string(thisLdapValuep, bufsize, has_text ? string->dcl_stringp : "",
                         has_text ? string->dcl_length : 0);
        return CS_SUCCEED;
    }
    case DCL_SYNTAX_TRANADDR:
        if (gdd__get_ldap_tranaddr_string(thisLdapValuep, bufsize,
                                          this_dcl_valuep ? &this_dcl_valuep->dcl_tranaddr
                                                          : nullptr) != CS_SUCCEED) {
            GDD_LOG("gdd__get_ldap_tranaddr_string failed.\n");
            return CS_FAIL;
        }
        return CS_SUCCEED;
    default:
        GDD_LOG("unexpected attribute syntax: %i\n", dcl_attrsyntax);
        return CS_FAIL;
    }
}

CS_RETCODE gdd__get_ldap_tranaddr_string(char *addressAttribute, CS_INT bufsize,
                                         const DCL_TRANADDR *tranaddr) {
    if (addressAttribute == nullptr || bufsize < 1) return CS_FAIL;
    if (tranaddr == nullptr) {
        gdd__copy_string(addressAttribute, bufsize, " ", CS_NULLTERM);
        return CS_SUCCEED;
    }
    const std::string_view type = field_text(tranaddr->dcl_trantype, sizeof tranaddr->dcl_trantype);
    const std::string_view address =
        field_text(tranaddr->dcl_tranaddress, sizeof tranaddr->dcl_tranaddress);

    AddressText text{};
    char type_copy[sizeof tranaddr->dcl_trantype + 1];  // the field need not be terminated
    if (is_tcp_family(type)) {
        char working[GDD_TEXT_SIZE];
        gdd__copy_string(working, sizeof working, address.data(),
                         static_cast<CS_INT>(address.size()));
        normalise_tcp_address(working, &text);
    } else {
        GDD_LOG("Not a tcp address. No parsing.\n");
        gdd__copy_string(type_copy, sizeof type_copy, type.data(),
                         static_cast<CS_INT>(type.size()));
        gdd__copy_string(text.address, GDD_TEXT_SIZE, address.data(),
                         static_cast<CS_INT>(address.size()));
        text.type = type_copy;
    }
    // Composed in full first, so that a text longer than the caller's buffer
    // is cut by the bounded copy, with its warning, rather than overrun it.
    char composed[sizeof tranaddr->dcl_trantype + 1 + 11 + 1 + GDD_TEXT_SIZE];
    std::snprintf(composed, sizeof composed, "%s#%i#%s", text.type, tranaddr->dcl_accesstype,
                  text.address);
    gdd__copy_string(addressAttribute, bufsize, composed, CS_NULLTERM);
    GDD_LOG("gdd__get_ldap_tranaddr_string: Created string %s\n", addressAttribute);
    return CS_SUCCEED;
}
