// The server-entry vocabulary and the value converters: names and OIDs mapped
// to DCL types and syntaxes, values read from and written as LDAP text,
// transport addresses both ways.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "ldap_schema.h"
#include "support/loaded_driver.h"
#include "support/log_file.h"
#include "veldldap/vocabulary.h"

namespace {

DCL_TRANADDR transport_address(const std::string &type, CS_INT access, const std::string &address) {
    DCL_TRANADDR value{};
    std::strncpy(value.dcl_trantype, type.c_str(), sizeof value.dcl_trantype - 1);
    value.dcl_accesstype = access;
    std::strncpy(value.dcl_tranaddress, address.c_str(), sizeof value.dcl_tranaddress - 1);
    return value;
}

}  // namespace

TEST(Schema, MapsNamesIgnoringCaseAndOidsOnlyWhenExact) {
    auto expect_mapped = [](const char *server_name, const std::string &type, CS_INT syntax) {
        char buffer[GDD_TEXT_SIZE];
        DCL_OID oid{-1, buffer};
        gdd__map_dcl_attributename(&oid, server_name);
        EXPECT_EQ(std::string(buffer), type) << server_name;
        EXPECT_EQ(oid.dcl_oidlen, static_cast<CS_INT>(type.size()));
        EXPECT_EQ(gdd__get_dcl_syntax(buffer), syntax) << server_name;
    };
    // Each name, in any letter case, maps to its OID and syntax.
    namespace vocabulary = veldldap::vocabulary;
    for (const vocabulary::Attribute &attribute : vocabulary::kAttributes) {
        std::string upper(attribute.name);
        for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string &name : {std::string(attribute.name), upper, std::string(attribute.oid)})
            expect_mapped(name.c_str(), std::string(attribute.oid), attribute.syntax);
    }
    // Outside the map, or not exactly one of its OIDs: kept as named, syntax string.
    const std::string arc(vocabulary::kAttributeArc);
    const std::tuple<std::string, std::string, CS_INT> cases[] = {
        {arc + "04", arc + "04", DCL_SYNTAX_STRING},   {arc + "170", arc + "170", DCL_SYNTAX_STRING},
        {arc + "12", arc + "12", DCL_SYNTAX_STRING},   {arc + "5 ", arc + "5 ", DCL_SYNTAX_STRING},
        {"objectClass", "objectClass", DCL_SYNTAX_STRING}, {"velmorAddressX", "velmorAddressX", DCL_SYNTAX_STRING},
    };
    for (const auto &[name, type, syntax] : cases) expect_mapped(name.c_str(), type, syntax);
    EXPECT_EQ(log_count(" (DCL_SYNTAX_OID)\n"), 3);
}

TEST(TransportAddress, ReadsFieldsAtHashesAndRefusesABlankType) {
    struct Case { const char *text; bool accepted; const char *type; CS_INT access; const char *address; };
    const Case cases[] = {
        {"TCP#0#h1 5000", true, "TCP", 0, "h1 5000"}, {"TCP#5", true, "TCP", 5, ""},
        {"TCP", true, "TCP", 0, ""},                   {"#TCP#1#h 1", true, "TCP", 1, "h 1"},
        {"TCP##srvhost 5000", true, "TCP", 0, ""},     {"ipx#0#a#b", true, "ipx", 0, "a"},
        {"tcp# -12abc#x, y", true, "tcp", -12, "x, y"}, {"TCP#99999999999#h", true, "TCP", INT_MAX, "h"},
        {"TCP#-99999999999#h", true, "TCP", INT_MIN, "h"},
        {"ttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttt", true,
         "ttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttt", 0, ""},  // cut to 63
        {" ", false, "", 0, ""}, {"", false, "", 0, ""}, {"###", false, "", 0, ""}, {" TCP#0#h", false, "", 0, ""},
    };
    for (const Case &c : cases) {
        std::string text = c.text;
        DCL_TRANADDR value{};
        EXPECT_EQ(gdd__get_dcl_tranaddr(&value, text.data()), c.accepted ? CS_SUCCEED : CS_FAIL) << c.text;
        EXPECT_STREQ(value.dcl_trantype, c.type) << c.text;
        EXPECT_EQ(value.dcl_accesstype, c.access) << c.text;
        EXPECT_STREQ(value.dcl_tranaddress, c.address) << c.text;
    }
}

TEST(TransportAddress, WritesTcpFamilyAsHostPortAndNetfilter) {
    struct Case { const char *type; CS_INT access; const char *address, *text; };
    const Case cases[] = {
        {"QRWINET", 0, "srvhost,5000", "TCP#0#srvhost 5000"}, {"tcp", 1, "srvhost 5000 ssl", "tcp#1#srvhost 5000 ssl"},
        {"TCP", 0, "srvhost", "TCP#0#srvhost"},               {"QRWINET", 0, "srvhost, 5000", "TCP#0#srvhost 5000"},
        {"tcp", 0, "srvhost, 5000, ssl", "tcp#0#srvhost 5000  ssl"},
        {"TCP", 0, "h 5000 a, b,c", "tcp#0#h 5000 a, b,c"},   {"TCP", 0, "srvhost 5000 ", "TCP#0#srvhost 5000"},
        {"myTCPnet", 3, ",, h,,5000", "TCP#3#h 5000"},        {"xtcpx", 0, " ,srvhost, ", "TCP#0# ,srvhost"},
        {"TCP", 0, "", "TCP#0#"},                             {"TCP", 0, " ,, ", "TCP#0# ,, "},
        {"QRWINET", INT_MIN, "h 1", "TCP#-2147483648#h 1"},   {"ipx", 0, "a#b", "ipx#0#a#b"},
        {"Tcp", 7, "a,b", "Tcp#7#a,b"},  // the family test is case-sensitive
    };
    for (const Case &c : cases) {
        const DCL_TRANADDR value = transport_address(c.type, c.access, c.address);
        char text[GDD_TEXT_SIZE];
        ASSERT_EQ(gdd__get_ldap_tranaddr_string(text, sizeof text, &value), CS_SUCCEED);
        EXPECT_STREQ(text, c.text) << c.type << " " << c.address;
    }
    EXPECT_TRUE(log_contains("Attempt to parse the dcl_tranaddress field failed\n"));
    EXPECT_TRUE(log_contains("gdd__get_ldap_tranaddr_string: Created string TCP#0#srvhost 5000\n"));
}

TEST(TransportAddress, IsCutToTheCallersBuffer) {
    const DCL_TRANADDR longest = transport_address(std::string(63, 't'), INT_MIN, std::string(511, 'a'));
    char text[GDD_TEXT_SIZE];
    ASSERT_EQ(gdd__get_ldap_tranaddr_string(text, sizeof text, &longest), CS_SUCCEED);
    EXPECT_EQ(std::string(text), std::string(63, 't') + "#-2147483648#" + std::string(512 - 76, 'a'));
    ASSERT_EQ(gdd__get_ldap_tranaddr_string(text, 8, &longest), CS_SUCCEED);
    EXPECT_STREQ(text, "ttttttt");
}

TEST(Values, AreReadBySyntax) {
    const std::pair<const char *, CS_INT> integers[] = {
        {"42abc", 42}, {"abc", 0}, {" -7", -7}, {"\t+5", 5}, {"- 3", 0}, {"2147483647", INT_MAX},
        {"2147483648", INT_MAX}, {"-2147483649", INT_MIN}, {"123456789012345678901234567890", INT_MAX}};
    DCL_COMP comp = untouched_comp();
    for (const auto &[text, integer] : integers) {
        DCL_ATTRVALUE value{};
        ASSERT_EQ(gdd__get_dcl_value(&value, const_cast<char *>(text), DCL_SYNTAX_INTEGER, &comp), CS_SUCCEED);
        EXPECT_EQ(value.dcl_integer, integer) << text;
    }
    for (CS_INT syntax : {DCL_SYNTAX_STRING, DCL_SYNTAX_OID})
        for (const char *text : {"", "1.2.3"}) {
            DCL_ATTRVALUE value{};
            ASSERT_EQ(gdd__get_dcl_value(&value, const_cast<char *>(text), syntax, &comp), CS_SUCCEED);
            EXPECT_EQ(value.dcl_string.dcl_length, static_cast<CS_INT>(std::strlen(text)));
            EXPECT_STREQ(value.dcl_string.dcl_stringp, text);
            std::free(value.dcl_string.dcl_stringp);
        }
    EXPECT_EQ(comp.dcl_status, untouched_comp().dcl_status);
    DCL_ATTRVALUE value{};
    EXPECT_EQ(gdd__get_dcl_value(&value, const_cast<char *>(" "), DCL_SYNTAX_TRANADDR, &comp), CS_FAIL);
    EXPECT_EQ(comp.dcl_status, untouched_comp().dcl_status);  // refused, not reported

    EXPECT_EQ(gdd__get_dcl_value(&value, const_cast<char *>("x"), 3, &comp), CS_FAIL);
    EXPECT_EQ(std::tuple(comp.dcl_status, comp.dcl_provstatus, comp.dcl_oserr), std::tuple(1, DLDAP_ERR_INVALID, 0));
}

// The add and modify tests (update_standin_test.cpp) write integers,
// addresses, long texts and unknown syntaxes; these are the values no host
// object there holds.
TEST(Values, AreWrittenAsLdapText) {
    char text[GDD_TEXT_SIZE];
    DCL_ATTRVALUE value{};
    auto written = [&](const DCL_ATTRVALUE *from, CS_INT syntax) {
        std::strcpy(text, "old");
        EXPECT_EQ(gdd__get_ldap_value_string(text, sizeof text, from, syntax), CS_SUCCEED);
        return std::string(text);
    };
    EXPECT_EQ(written(nullptr, DCL_SYNTAX_INTEGER), "0");
    EXPECT_EQ(written(nullptr, DCL_SYNTAX_STRING), "");  // no value: the empty text
    value.dcl_string = DCL_STRING{3, const_cast<CS_CHAR *>("1.2.3.4")};
    EXPECT_EQ(written(&value, DCL_SYNTAX_OID), "1.2");
    value.dcl_string = DCL_STRING{5, nullptr};
    EXPECT_EQ(written(&value, DCL_SYNTAX_OID), "");
    EXPECT_EQ(gdd__get_ldap_value_string(nullptr, sizeof text, &value, DCL_SYNTAX_TRANADDR), CS_FAIL);
    EXPECT_TRUE(log_contains("gdd__get_ldap_tranaddr_string failed.\n"));
}
