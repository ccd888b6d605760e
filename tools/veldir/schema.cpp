#include "schema.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <strings.h>

#include "utf8.h"

namespace {

// The driver keeps every text in 513-byte buffers and would cut longer ones.
constexpr std::size_t kMaxValueLength = 512;

std::string bytes(std::size_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

// The limits are the driver's buffers, so they count bytes, not characters.
std::optional<std::string> check_text(std::string_view text) {
    if (text.empty()) return "an empty value cannot be stored: the directory holds no empty texts";
    if (text.size() > kMaxValueLength)
        return "the value has " + bytes(text.size()) +
               "; the driver stores at most 512 bytes (a character outside ASCII takes 2 to 4)";
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        return "the value contains a NUL byte (byte " + std::to_string(nul + 1) + ")";
    if (const std::optional<std::size_t> bad = first_invalid_utf8(text))
        return "the value is not valid UTF-8 (byte " + std::to_string(*bad + 1) + ")";
    return std::nullopt;
}

bool is_dotted_oid(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && text[i + 1] == '.') return false;
        if (c != '.' && (c < '0' || c > '9')) return false;
    }
    return true;
}

}  // namespace

std::span<const AttributeSpec> server_attributes() { return veldldap::vocabulary::kAttributes; }

std::string_view syntax_name(CS_INT syntax) {
    switch (syntax) {
    case DCL_SYNTAX_INTEGER: return "integer";
    case DCL_SYNTAX_STRING: return "string";
    case DCL_SYNTAX_OID: return "OID";
    case DCL_SYNTAX_TRANADDR: return "transport address";
    default: return "unknown syntax";
    }
}

std::optional<CS_INT> parse_integer(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    CS_INT value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<DCL_TRANADDR> parse_transport_address(std::string_view text, std::string &error) {
    const std::size_t first = text.find('#');
    const std::size_t second = first == std::string_view::npos ? first : text.find('#', first + 1);
    if (second == std::string_view::npos) {
        error = "a transport address is written TYPE#ACCESS#ADDRESS, e.g. \"tcp#0#srvhost 5000\"";
        return std::nullopt;
    }
    const std::string_view type = text.substr(0, first);
    const std::string_view access = text.substr(first + 1, second - first - 1);
    const std::string_view address = text.substr(second + 1);
    DCL_TRANADDR result{};
    if (type.empty() || type.front() == ' ' || type.size() >= sizeof result.dcl_trantype) {
        error = "the transport type must be 1 to 63 bytes and must not begin with a blank (it has " +
                bytes(type.size()) + ")";
        return std::nullopt;
    }
    const std::optional<CS_INT> access_type = parse_integer(access);
    if (!access_type) {
        error = "the access type (between the two #) must be a decimal number";
        return std::nullopt;
    }
    if (address.find('#') != std::string_view::npos || address.size() >= sizeof result.dcl_tranaddress) {
        error = "the address must be at most 511 bytes and must not contain # (it has " + bytes(address.size()) + ")";
        return std::nullopt;
    }
    if (text.find('\0') != std::string_view::npos) {
        error = "a transport address must not contain a NUL byte";
        return std::nullopt;
    }
    // The driver writes the address as one text of its 513-byte buffers and would cut a longer one.
    const std::size_t written = type.size() + std::to_string(*access_type).size() + address.size() + 2;
    if (written > kMaxValueLength) {
        error = "the address as the driver writes it (TYPE#ACCESS#ADDRESS) has " + bytes(written) +
                "; it stores at most 512 bytes";
        return std::nullopt;
    }
    std::memcpy(result.dcl_trantype, type.data(), type.size());
    result.dcl_accesstype = *access_type;
    std::memcpy(result.dcl_tranaddress, address.data(), address.size());
    return result;
}

std::string format_transport_address(const DCL_TRANADDR &address) {
    const std::string_view type(address.dcl_trantype, ::strnlen(address.dcl_trantype, sizeof address.dcl_trantype));
    const std::string_view text(address.dcl_tranaddress,
                                ::strnlen(address.dcl_tranaddress, sizeof address.dcl_tranaddress));
    return std::string(type) + "#" + std::to_string(address.dcl_accesstype) + "#" + std::string(text);
}

std::optional<std::string> check_value(const AttributeSpec &definition, std::string_view text) {
    std::string error;
    switch (definition.syntax) {
    case DCL_SYNTAX_INTEGER:
        if (!parse_integer(text)) return "a decimal integer between -2147483648 and 2147483647 is expected";
        return std::nullopt;
    case DCL_SYNTAX_TRANADDR:
        if (!parse_transport_address(text, error)) return error;
        return std::nullopt;
    case DCL_SYNTAX_OID:
        if (!is_dotted_oid(text)) return "a dotted-decimal OID such as 1.3.6.1.4.1.32473.1 is expected";
        return std::nullopt;
    default:
        return check_text(text);
    }
}

std::string format_value(CS_INT syntax, const DCL_ATTRVALUE &value) {
    switch (syntax) {
    case DCL_SYNTAX_INTEGER:
        return std::to_string(value.dcl_integer);
    case DCL_SYNTAX_TRANADDR:
        return format_transport_address(value.dcl_tranaddr);
    default:
        if (value.dcl_string.dcl_stringp == nullptr || value.dcl_string.dcl_length <= 0) return {};
        return std::string(value.dcl_string.dcl_stringp, static_cast<std::size_t>(value.dcl_string.dcl_length));
    }
}

bool is_server_dn(std::string_view name) { return veldldap::vocabulary::is_server_dn_any_case(name); }
