// Reads and searches through the built driver against every kind of
// throw-away server: every attribute syntax decoded, names mapped to OIDs,
// refused values left out, missing entries and bases, the server's size
// limit, and a listing of 10,000 entries that must say exactly what
// ldapsearch says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/log_file.h"
#include "support/server_suite.h"
#include "support/session.h"
#include "veldldap/vocabulary.h"

namespace {

namespace vocabulary = veldldap::vocabulary;

constexpr int kSizeLimit = 2;
constexpr int kManyEntries = 10000;

// srv1 holds a value of every attribute, and addresses that differ only in
// case (the schema keeps both).  A blank address (base64 in LDIF) is stored
// beside them and refused by the driver.
constexpr const char *kBlankAddress = "velmorAddress:: IA==\n";
const std::string kSrv1Values =
    "velmorVersion: 3\nvelmorService: billing\nvelmorStatus: -2\nvelmorAddress: TCP#0#h1 5000\n"
    "velmorAddress: tcp#0#h1 5000\nvelmorSecurity: 1.2.840.113549\nvelmorRetryCount: 4\n"
    "velmorRetryDelay: 2147483647\nvelmorJcourierProtocol: jcp\nvelmorJcourierProperty: a=b\n"
    "velmorDatabaseName: db1\nvelmorHAservername: srv1b\nvelmorResourceManagerName: rm\n"
    "velmorResourceManagerType: 7\nvelmorJdbcDataSourceInterface: javax.sql.DataSource\n"
    "velmorServerType: primary\n";

std::string many_base(const std::string &suffix) { return "ou=many," + suffix; }

// srv1 to srv3 in the servers' container, one more than the size limit
// lets a reader see, and kManyEntries entries in ou=many.
DirectoryServerOptions seeded() {
    DirectoryServerOptions options;
    options.size_limit = kSizeLimit;
    const std::string many = many_base(DirectoryServer::kSuffix);
    // Offline loads keep an attribute split in two when its lines are apart.
    std::string srv1 = kSrv1Values;
    srv1.insert(srv1.find("velmorSecurity"), kBlankAddress);
    std::string ldif = DirectoryServer::server_entry("srv1", srv1) + DirectoryServer::server_entry("srv2") +
                       DirectoryServer::server_entry("srv3") + "dn: " + many +
                       "\nobjectClass: organizationalUnit\nou: many\n\n";
    for (int i = 0; i < kManyEntries; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "srv%05d", i);
        ldif += DirectoryServer::server_entry(name,
                                              "velmorStatus: " + std::to_string(i % 7 - 3) + "\nvelmorAddress: TCP#" +
                                                  std::to_string(i % 3) + "#host" + std::to_string(i) +
                                                  " 5000\nvelmorService: s" + std::to_string(i % 11) + "\n",
                                              many);
    }
    options.initial_ldif = ldif;
    return options;
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

// LDIF with the vocabulary's attribute names turned into the OIDs the driver reports.
std::string with_oids(const std::string &ldif) {
    std::istringstream lines(ldif);
    std::string mapped;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(": ");
        const vocabulary::Attribute *attribute =
            colon == std::string::npos ? nullptr : vocabulary::find(line.substr(0, colon));
        mapped += (attribute != nullptr ? std::string(attribute->oid) + line.substr(colon) : line) + "\n";
    }
    return mapped;
}

// The lines of one entry in a fixed order: servers order the attributes
// their own way (slapd as stored, 389 DS as asked).
std::vector<std::string> sorted_lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class Retrieval : public ServerSuite {
protected:
    Retrieval() : ServerSuite(seeded()) {}
};

}  // namespace

TEST_P(Retrieval, DecodesEverySyntaxAndLeavesRefusedAddressesOut) {
    const std::string base = server().servers_base();
    const std::string expected =
        "dn: velmorServername=srv1," + base + "\n" + with_oids("velmorServername: srv1\n" + kSrv1Values + "\n");
    Session session(as_reader());
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    for (const std::string &name : {std::string("SRV1"), "velmorServername=srv1," + base}) {
        ASSERT_EQ(session.read(name), CS_SUCCEED) << name;
        ASSERT_EQ(session.result()->dcl_numentries, 1);
        EXPECT_EQ(sorted_lines(as_ldif(*session.result())), sorted_lines(expected)) << name;
    }
    EXPECT_EQ(session.result()->dcl_name.dcl_stringp, session.state().cur.ditbase);  // lent, not copied
    EXPECT_EQ(session.result()->dcl_limit, -9999);
    EXPECT_EQ(session.comp.dcl_status, -11) << "success leaves the completion record alone";
    const DCL_OBJECT &srv1 = *session.result()->dcl_objlist[0];
    EXPECT_EQ(srv1.dcl_class.dcl_oidp, vocabulary::kServerClassOid);
    ASSERT_EQ(srv1.dcl_attrlist.dcl_numattr, static_cast<CS_INT>(vocabulary::kAttributeCount));
    for (CS_INT a = 0; a < srv1.dcl_attrlist.dcl_numattr; ++a) {
        const DCL_ATTRIBUTE &attribute = srv1.dcl_attrlist.dcl_attribute[a];
        const vocabulary::Attribute *row = vocabulary::find(attribute.dcl_attrtype.dcl_oidp);
        ASSERT_NE(row, nullptr) << attribute.dcl_attrtype.dcl_oidp;
        EXPECT_EQ(attribute.dcl_attrsyntax, row->syntax) << row->name;
        // The driver finds each syntax by the type the server names.
        const std::string_view named = kind().answers_with_oids ? row->oid : row->name;
        EXPECT_TRUE(log_contains(" Copying attribute " + std::string(named) + ":\n")) << named;
        if (row->syntax == DCL_SYNTAX_TRANADDR) {
            EXPECT_TRUE(log_contains(" Attribute " + std::string(named) + " has 3 values.\n")) << "with the blank";
        }
    }
}

TEST_P(Retrieval, MissingEntriesAndBasesAndTheSizeLimit) {
    Session reader(as_reader());
    ASSERT_EQ(reader.bind(), CS_SUCCEED);
    EXPECT_EQ(reader.read("srv(1)"), CS_FAIL);  // escaped: no such name, and no broken filter
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 7, 0));
    EXPECT_EQ(reader.search(), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 12, 4));  // sizeLimitExceeded
    EXPECT_EQ(reader.read("srv*"), CS_FAIL);
    EXPECT_EQ(codes(reader.comp), std::tuple(1, 12, 4));

    Session admin(as_admin());
    ASSERT_EQ(admin.bind(), CS_SUCCEED);
    ASSERT_EQ(admin.search(), CS_SUCCEED) << "the limit is the reader's";
    EXPECT_EQ(admin.result()->dcl_numentries, kSizeLimit + 1);

    Session nowhere(server().url() + "/ou=missing," + server().suffix());
    ASSERT_EQ(nowhere.bind(), CS_SUCCEED);
    EXPECT_EQ(nowhere.search(), CS_FAIL);
    EXPECT_EQ(codes(nowhere.comp), std::tuple(1, 7, 32));
}

TEST_P(Retrieval, TenThousandEntriesReadAsLdapsearchReadsThem) {
    const std::string base = many_base(server().suffix());
    Session session(server().url() + "/" + base + "????bindname=" + server().admin_dn() + "?" +
                    server().admin_password());
    ASSERT_EQ(session.bind(), CS_SUCCEED);
    ASSERT_EQ(session.search(), CS_SUCCEED);
    ASSERT_EQ(session.result()->dcl_numentries, kManyEntries);
    std::vector<std::string> requested;
    for (const vocabulary::Attribute &attribute : vocabulary::kAttributes) requested.emplace_back(attribute.oid);
    const std::string filter = "(" + std::string(vocabulary::kNamingAttributeOid) + "=*)";
    EXPECT_EQ(as_ldif(*session.result()), with_oids(server().ldapsearch_output(base, "one", filter, requested)));
}

INSTANTIATE_FOR_EVERY_SERVER(Retrieval);
