// Every schema file in schema/ (the slapd.conf form, the cn=config form and
// any other server's form) defines exactly the vocabulary's attributes and
// object class, and all forms define them alike: a directory loaded from any
// of them stores what the driver writes.  The directory tests' servers load
// velmor.schema and velmor-389ds.ldif; the cn=config form is loaded here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "veldldap/vocabulary.h"

namespace {

namespace vocabulary = veldldap::vocabulary;

// The LDAP syntax each DCL syntax is stored under.
std::string ldap_syntax_of(CS_INT syntax) {
    switch (syntax) {
    case DCL_SYNTAX_INTEGER: return "1.3.6.1.4.1.1466.115.121.1.27";
    case DCL_SYNTAX_TRANADDR: return "1.3.6.1.4.1.1466.115.121.1.40";
    case DCL_SYNTAX_OID: return "1.3.6.1.4.1.1466.115.121.1.26";
    default: return "1.3.6.1.4.1.1466.115.121.1.15";
    }
}

// The definitions of a file, "( OID ... )" with white space made single
// blanks, keyed by OID.  Comments go; continuation lines join their line
// (LDIF drops the one blank that marks them).
std::map<std::string, std::string> definitions_in(const std::filesystem::path &file) {
    const bool ldif = file.extension() == ".ldif";
    std::ifstream in(file);
    std::string line, text;
    while (std::getline(in, line)) {
        if (line.starts_with("#")) continue;
        if (line.starts_with(" ") || line.starts_with("\t")) text += ldif ? line.substr(1) : line;
        else text += "\n" + line;
    }
    text = std::regex_replace(text, std::regex(R"([ \t]+)"), " ");
    std::map<std::string, std::string> definitions;
    static const std::regex definition(R"(\( ?([0-9.]+) NAME [^\n]*\))");
    for (std::sregex_iterator at(text.begin(), text.end(), definition), end; at != end; ++at) {
        EXPECT_TRUE(definitions.emplace((*at)[1], (*at)[0]).second) << file << " defines " << (*at)[1] << " twice";
    }
    return definitions;
}

std::string expected_start(const vocabulary::Attribute &attribute) {
    return "( " + std::string(attribute.oid) + " NAME '" + std::string(attribute.name) + "'";
}

std::vector<std::filesystem::path> schema_files() {
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::directory_iterator(VELDLDAP_SOURCE_DIR "/schema"))
        if (entry.path().extension() == ".schema" || entry.path().extension() == ".ldif") files.push_back(entry.path());
    return files;
}

}  // namespace

TEST(SchemaFiles, EveryFormDefinesTheVocabularyAndAllFormsAgree) {
    const std::vector<std::filesystem::path> files = schema_files();
    ASSERT_GE(files.size(), 2u);
    std::map<std::string, std::string> first;
    for (const std::filesystem::path &file : files) {
        const std::map<std::string, std::string> definitions = definitions_in(file);
        EXPECT_EQ(definitions.size(), vocabulary::kAttributeCount + 1) << file;
        for (const vocabulary::Attribute &attribute : vocabulary::kAttributes) {
            const auto found = definitions.find(std::string(attribute.oid));
            ASSERT_NE(found, definitions.end()) << file << " lacks " << attribute.name;
            EXPECT_TRUE(found->second.starts_with(expected_start(attribute))) << file << ": " << found->second;
            EXPECT_NE(found->second.find("SYNTAX " + ldap_syntax_of(attribute.syntax)), std::string::npos)
                << file << ": " << found->second;
        }
        const auto server_class = definitions.find(std::string(vocabulary::kServerClassOid));
        ASSERT_NE(server_class, definitions.end()) << file;
        const std::string &object_class = server_class->second;
        EXPECT_NE(object_class.find("NAME '" + std::string(vocabulary::kServerClassName) + "'"), std::string::npos);
        EXPECT_NE(object_class.find("MUST " + std::string(vocabulary::kNamingAttribute)), std::string::npos);
        for (const vocabulary::Attribute &attribute : vocabulary::kAttributes)
            EXPECT_NE(object_class.find(" " + std::string(attribute.name) + " "), std::string::npos)
                << file << ": the object class lacks " << attribute.name;
        if (first.empty()) first = definitions;
        EXPECT_EQ(definitions, first) << file << " defines something differently from " << files.front();
    }
}

TEST(SchemaFiles, TheConfigFormLoadsIntoSlapd) {
    const std::string ldif = "dn: cn=config\nobjectClass: olcGlobal\ncn: config\n\n"
                             "dn: cn=schema,cn=config\nobjectClass: olcSchemaConfig\ncn: schema\n\n"
                             "include: file:///etc/ldap/schema/core.ldif\n\n"
                             "include: file://" VELDLDAP_SOURCE_DIR "/schema/velmor.ldif\n";
    std::filesystem::create_directory("config");
    const auto loaded = veldldap::run_program({"slapadd", "-n0", "-F", "config"}, {.input = ldif});
    ASSERT_TRUE(loaded.ok()) << loaded.summary() << loaded.out;
    const auto dump = veldldap::run_program(
        {"slapcat", "-n0", "-F", "config", "-o", "ldif-wrap=no", "-a", "(cn={1}velmor)"});
    ASSERT_TRUE(dump.ok()) << dump.summary();
    std::istringstream lines(dump.out);
    std::size_t definitions = 0;
    for (std::string line; std::getline(lines, line);)
        definitions += line.starts_with("olcAttributeTypes:") || line.starts_with("olcObjectClasses:");
    EXPECT_EQ(definitions, vocabulary::kAttributeCount + 1);
}
