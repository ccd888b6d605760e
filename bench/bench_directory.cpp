#include "bench_directory.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "slapd_launcher.h"
#include "veldldap/vocabulary.h"

namespace {

constexpr const char *kSuffix = "o=bench";
constexpr const char *kAdminDn = "cn=admin,o=bench";
constexpr const char *kAdminPassword = "secret";

std::string server_name(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "srv%05d", number);
    return name;
}

// Eight single-valued attributes: four integers, two strings, an address
// and an OID, the mix the host keeps for a server.
void append_server_entry(std::string &ldif, const std::string &base, int number) {
    const std::string name = server_name(number);
    ldif += "dn: velmorServername=" + name + "," + base + "\n"
            "objectClass: velmorServer\n"
            "velmorServername: " + name + "\n"
            "velmorVersion: 15\n"
            "velmorService: svc" + name.substr(3) + "\n"
            "velmorStatus: 1\n"
            "velmorAddress: TCP#0#host" + name.substr(3) + " 5000\n"
            "velmorSecurity: 1.3.6.1.4.1.32473.9.1\n"
            "velmorRetryCount: 3\n"
            "velmorRetryDelay: 2\n\n";
}

std::string initial_entries() {
    std::string ldif = std::string("dn: ") + kSuffix + "\nobjectClass: organization\no: bench\n\n";
    for (int entries : BenchDirectory::kListSizes) {
        const std::string base = BenchDirectory::list_base(entries);
        ldif += "dn: " + base + "\nobjectClass: organizationalUnit\nou: list" +
                std::to_string(entries) + "\n\n";
        for (int number = 1; number <= entries; ++number) append_server_entry(ldif, base, number);
    }
    return ldif;
}

}  // namespace

BenchDirectory::BenchDirectory() {
    veldldap::SlapdLaunchOptions options;
    options.suffix = kSuffix;
    options.root_dn = kAdminDn;
    options.root_password = kAdminPassword;
    options.schema_files = {VELDLDAP_SOURCE_DIR "/schema/velmor.schema"};
    // A read by server name is an equality lookup among the container's entries.
    options.database_settings = "index objectClass eq\nindex velmorServername eq";
    server_ = std::make_unique<veldldap::SlapdLauncher>(std::move(options));
    std::string error;
    if (!server_->prepare(error) || !server_->load_ldif(initial_entries(), error) ||
        !server_->start(error)) {
        std::fprintf(stderr, "cannot start the benchmark directory: %s\n", error.c_str());
        std::exit(2);
    }
}

BenchDirectory::~BenchDirectory() = default;

std::string BenchDirectory::uri() const { return server_->url(); }
std::string BenchDirectory::admin_dn() const { return kAdminDn; }
std::string BenchDirectory::admin_password() const { return kAdminPassword; }

std::string BenchDirectory::list_base(int entries) {
    return "ou=list" + std::to_string(entries) + "," + kSuffix;
}

std::string BenchDirectory::init_string(int entries) const {
    return uri() + "/" + list_base(entries) + "????bindname=" + admin_dn() + "?" + admin_password();
}

std::string BenchDirectory::read_name() { return server_name(50); }
std::string BenchDirectory::new_server_name() { return "bench-new"; }

std::vector<BenchDirectory::Attribute> BenchDirectory::new_server_attributes() {
    const std::pair<const char *, std::string> values[] = {
        {"velmorServername", new_server_name()}, {"velmorVersion", "15"},
        {"velmorService", "svc-new"},            {"velmorStatus", "1"},
        {"velmorAddress", "TCP#0#host-new 5000"}, {"velmorSecurity", "1.3.6.1.4.1.32473.9.1"},
        {"velmorRetryCount", "3"},               {"velmorRetryDelay", "2"},
    };
    std::vector<Attribute> attributes;
    for (const auto &[name, text] : values) {
        const veldldap::vocabulary::Attribute *row = veldldap::vocabulary::find(name);
        attributes.push_back({std::string(row->oid), row->syntax, text});
    }
    return attributes;
}
