// Reads and searches through the built driver against a throw-away slapd:
// every attribute syntax decoded, names mapped to OIDs, refused values left
// out, missing entries and bases, the server's size limit, and a listing of
// 10,000 entries that must say exactly what ldapsearch says.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ldap_schema.h"
#include "support/session.h"
#include "support/slapd_server.h"

namespace {

std::string init_string(const SlapdServer &server, const std::string &base, bool as_admin = false) {
    return "retry=0 " + server.url() + "/" + base + "????bindname=" +
           (as_admin ? server.admin_dn() + "?" + server.admin_password()
                     : server.reader_dn() + "?" + server.reader_password());
}

std::string server_entry(const std::string &name, const std::string &base, const std::string &more = "") {
    return "dn: velmorServername=" + name + "," + base + "\nobjectClass: velmorServer\nvelmorServername: " +
           name + "\n" + more + "\n";
}

// A value as LDAP text again, so a decoded result reads like ldapsearch output.
std::string text_of(const DCL_ATTRIBUTE &attribute, const DCL_ATTRVALUE &value) {
    switch (attribute.dcl_attrsyntax) {
    case DCL_SYNTAX_INTEGER: return std::to_string(value.dcl_integer);
    case DCL_SYNTAX_TRANADDR:
        return std::string(value.dcl_tranaddr.dcl_trantype) + "#" +
               std::to_string(value.dcl_tranaddr.dcl_accesstype) + "#" + value.dcl_tranaddr.dcl_tranaddress;
    default: return std::string(value.dcl_string.dcl_stringp, static_cast<std::size_t>(value.dcl_string.dcl_length));
    }
}

std::string as_ldif(const DCL_RESULT &result) {
    std::string ldif;
    for (CS_INT e = 0; e < result.dcl_numentries; ++e) {
        const DCL_OBJECT &object = *result.dcl_objlist[e];
        ldif += "dn: " + std::string(object.dcl_dist_name.dcl_stringp) + "\n";
        for (CS_INT a = 0; a < object.dcl_attrlist.dcl_numattr; ++a) {
            const DCL_ATTRIBUTE &attribute = object.dcl_attrlist.dcl_attribute[a];
            for (CS_INT v = 0; v < attribute.dcl_numvalues; ++v)
                ldif += std::string(attribute.dcl_attrtype.dcl_oidp) + ": " +
                        text_of(attribute, attribute.dcl_attrvalues[v]) + "\n";
        }
        ldif += "\n";
    }
    return ldif;
}

// ldapsearch's LDIF with attribute names turned into the OIDs the driver reports.
std::string with_oids(const std::string &ldif) {
    std::istringstream lines(ldif);
    std::string mapped;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos && !line.starts_with("dn: ")) {
            char oid[GDD_TEXT_SIZE];
            DCL_OID type{0, oid};
            gdd__map_dcl_attributename(&type, line.substr(0, colon).c_str());
            line = oid + line.substr(colon);
        }
        mapped += line + "\n";
    }
    return mapped;
}

}  // namespace

TEST(Retrieval, DecodesEverySyntaxAndLeavesRefusedAddressesOut) {
    SlapdServer server;
    const std::string base = server.servers_base();
    const std::string values =
        "velmorVersion: 3\nvelmorService: billing\nvelmorStatus: -2\nvelmorAddress: TCP#0#h1 5000\n"
        "velmorAddress: tcp#1#h2 5001 ssl\nvelmorSecurity: 1.2.840.113549\nvelmorRetryCount: 4\n"
        "velmorRetryDelay: 2147483647\nvelmorJcourierProtocol: jcp\nvelmorJcourierProperty: a=b\n"
        "velmorDatabaseName: db1\nvelmorHAservername: srv1b\nvelmorResourceManagerName: rm\n"
        "velmorResourceManagerType: 7\nvelmorJdbcDataSourceInterface: javax.sql.DataSource\n"
        "velmorServerType: primary\n";
    // A blank address (base64 in LDIF) is stored, and refused by the driver.
    server.add_ldif(server_entry("srv1", base, values + "velmorAddress:: IA==\n"));
    const std::string expected =
        "dn: velmorServername=srv1," + base + "\n" + with_oids("velmorServername: srv1\n" + values + "\n");

    Session session(init_string(server, base));
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    for (const std::string &name : {std::string("SRV1"), "velmorServername=srv1," + base}) {
        ASSERT_EQ(session.read(name), CS_SUCCEED) << name;
        ASSERT_EQ(session.result()->dcl_numentries, 1);
        EXPECT_EQ(as_ldif(*session.result()), expected) << name;
    }
    EXPECT_EQ(session.result()->dcl_name.dcl_stringp, session.state().cur.ditbase);  // lent, not copied
    EXPECT_EQ(session.result()->dcl_limit, -9999);
    EXPECT_EQ(session.comp.dcl_status, -11) << "success leaves the completion record alone";
    const DCL_ATTRLIST &list = session.result()->dcl_objlist[0]->dcl_attrlist;
    ASSERT_EQ(list.dcl_numattr, 16);
    const CS_INT syntaxes[] = {1, 2, 1, 2, 5, 6, 2, 2, 1, 1, 1, 1, 1, 2, 1, 1};
    for (int a = 0; a < 16; ++a) EXPECT_EQ(list.dcl_attribute[a].dcl_attrsyntax, syntaxes[a]) << a;
    EXPECT_EQ(list.dcl_attribute[4].dcl_attrvalues[2].dcl_tranaddr.dcl_trantype[0], '\0');
    EXPECT_STREQ(session.result()->dcl_objlist[0]->dcl_class.dcl_oidp, "1.3.6.1.4.1.32473.4.1.1");
}

TEST(Retrieval, MissingEntriesAndBasesAndTheSizeLimit) {
    SlapdOptions options;
    options.size_limit = 5;
    SlapdServer server(options);
    std::string ldif;
    for (int i = 0; i < 6; ++i) ldif += server_entry("srv" + std::to_string(i), server.servers_base());
    server.add_ldif(ldif);

    Session reader(init_string(server, server.servers_base()));
    ASSERT_EQ(reader.bind(), CS_SUCCEED);
    EXPECT_EQ(reader.read("nobody"), CS_FAIL);
    EXPECT_EQ(reader.comp.dcl_provstatus, 7);
    EXPECT_EQ(reader.comp.dcl_oserr, 0);
    EXPECT_EQ(reader.read("srv(1)"), CS_FAIL);  // escaped: no such name, and no broken filter
    EXPECT_EQ(reader.comp.dcl_provstatus, 7);
    EXPECT_EQ(reader.search(), CS_FAIL);
    EXPECT_EQ(reader.comp.dcl_provstatus, 12);
    EXPECT_EQ(reader.comp.dcl_oserr, 4);  // sizeLimitExceeded
    EXPECT_EQ(reader.read("srv*"), CS_FAIL);
    EXPECT_EQ(reader.comp.dcl_oserr, 4);

    Session nowhere(init_string(server, "ou=missing," + server.suffix()));
    ASSERT_EQ(nowhere.bind(), CS_SUCCEED);
    EXPECT_EQ(nowhere.search(), CS_FAIL);
    EXPECT_EQ(nowhere.comp.dcl_provstatus, 7);
    EXPECT_EQ(nowhere.comp.dcl_oserr, 32);
}

TEST(Retrieval, TenThousandEntriesReadAsLdapsearchReadsThem) {
    SlapdOptions options;
    options.start = false;
    SlapdServer server(options);
    std::string ldif;
    for (int i = 0; i < 10000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "srv%05d", i);
        ldif += server_entry(name, server.servers_base(),
                             "velmorStatus: " + std::to_string(i % 7 - 3) + "\nvelmorAddress: TCP#" +
                                 std::to_string(i % 3) + "#host" + std::to_string(i) +
                                 " 5000\nvelmorService: s" + std::to_string(i % 11) + "\n");
    }
    server.add_ldif(ldif);
    server.start();

    Session session(init_string(server, server.servers_base(), true));
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    ASSERT_EQ(session.search(), CS_SUCCEED);
    ASSERT_EQ(session.result()->dcl_numentries, 10000);
    std::vector<std::string> requested(velmor_attributes.begin(), velmor_attributes.end() - 1);
    EXPECT_EQ(as_ldif(*session.result()),
              with_oids(server.ldapsearch_output(server.servers_base(), "one",
                                                 "(1.3.6.1.4.1.32473.4.2.2=*)", requested)));
}
