#include "support/directory_server.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

// Tools give up on an unreachable server instead of hanging the test.
constexpr const char *tool_network_timeout = "nettimeout=10";

bool keep_directories() { return std::getenv("VELDLDAP_KEEP_SLAPD") != nullptr; }

void require_success(const veldldap::ProgramResult &result, const std::string &what) {
    if (!result.ok()) throw std::runtime_error(what + " failed, " + result.summary() + result.out);
}

void require(bool done, const std::string &error) {
    if (!done) throw std::runtime_error(error);
}

// The certificates of every TLS server of this process, made once.
class PkiHolder {
public:
    PkiHolder() : owner_(::getpid()) {
        char pattern[] = "/tmp/veldldap-pki-XXXXXX";
        require(::mkdtemp(pattern) != nullptr, std::string("mkdtemp: ") + std::strerror(errno));
        directory_ = pattern;
        std::string error;
        require(veldldap::make_throwaway_ca(directory_, directory_ + "/openssl.log", true, files_, error), error);
    }
    ~PkiHolder() {
        std::error_code ignored;
        if (::getpid() == owner_ && !keep_directories()) fs::remove_all(directory_, ignored);
    }
    const veldldap::TlsFiles &files() const { return files_; }

private:
    pid_t owner_;
    std::string directory_;
    veldldap::TlsFiles files_;
};

const veldldap::TlsFiles &test_pki() {
    static const PkiHolder holder;
    return holder.files();
}

std::string organizational_unit(const std::string &name) {
    return "dn: ou=" + name + "," + DirectoryServer::kSuffix + "\nobjectClass: organizationalUnit\nou: " + name + "\n";
}

// An account that can bind with a password but is no person.
std::string account_entry(const std::string &dn, const std::string &password, const std::string &more = "") {
    const std::string name = dn.substr(3, dn.find(',') - 3);
    return "dn: " + dn + "\nobjectClass: organizationalRole\nobjectClass: simpleSecurityObject\ncn: " + name +
           "\nuserPassword: " + password + "\n" + more;
}

// What a kind of server adds to the shared setup.
struct KindSetup {
    // Size limit, access rules and root account in the server's own terms;
    // suffix, schema and TLS are filled in by the constructor.
    veldldap::DirectoryLaunchOptions launch;
    // The administrator is the root account; otherwise it is an entry
    // with these attributes (limits) besides its password.
    bool admin_is_root;
    std::string admin_attributes;
    // Attribute lines of the suffix entry (access rules kept in the data).
    std::string suffix_attributes;
    // The environment variable that sets the server's debug level.
    const char *debug_variable;
};

KindSetup slapd_setup(const DirectoryServerOptions &options) {
    veldldap::DirectoryLaunchOptions launch;
    launch.size_limit = options.size_limit;
    launch.database_settings =
        "access to attrs=userPassword\n"
        "  by anonymous auth\n"
        "  by * none\n"
        "access to *\n"
        "  by * read\n";
    return {.launch = launch,
            .admin_is_root = true,  // the rootdn, which no access rule restricts
            .admin_attributes = "",
            .suffix_attributes = "",
            .debug_variable = "VELDLDAP_SLAPD_DEBUG"};
}

KindSetup ds389_setup(const DirectoryServerOptions &options) {
    veldldap::DirectoryLaunchOptions launch;
    launch.root_dn = "cn=Directory Manager";
    launch.root_password = "manager-secret";  // 389 DS's own setup tool asks for 8 characters at least
    launch.size_limit = options.size_limit;
    const std::string access_rules =
        "aci: (targetattr != \"userPassword\")(version 3.0; acl \"everyone reads all but passwords\"; "
        "allow (read, search, compare) userdn = \"ldap:///anyone\";)\n"
        "aci: (targetattr = \"*\")(version 3.0; acl \"the administrator writes\"; allow (all) "
        "userdn = \"ldap:///" + std::string(DirectoryServer::kAdminDn) + "\";)\n";
    return {.launch = launch,
            .admin_is_root = false,
            .admin_attributes = "nsSizeLimit: -1\n",  // never size-limited, like slapd's rootdn
            .suffix_attributes = access_rules,
            .debug_variable = "VELDLDAP_DS389_DEBUG"};
}

}  // namespace

DirectoryServer::DirectoryServer(veldldap::DirectoryFlavour flavour, DirectoryServerOptions options)
    : options_(std::move(options)) {
    KindSetup kind = flavour == veldldap::DirectoryFlavour::ds389 ? ds389_setup(options_) : slapd_setup(options_);
    veldldap::DirectoryLaunchOptions &launch = kind.launch;
    launch.suffix = kSuffix;
    if (kind.admin_is_root) {
        launch.root_dn = admin_dn();
        launch.root_password = admin_password();
    }
    launch.schema_files = {std::string(VELDLDAP_SOURCE_DIR "/schema/") + veldldap::schema_file_name(flavour)};
    if (options_.tls) {
        launch.tls = test_pki();
        ca_file_ = test_pki().ca_certificate;
        wrong_ca_file_ = test_pki().unrelated_ca_certificate;
    }
    launch.ldaps_port = options_.tls;
    const char *debug = std::getenv(kind.debug_variable);
    if (debug != nullptr) launch.debug_level = debug;
    launcher_ = veldldap::make_directory_launcher(flavour, std::move(launch));

    std::string error;
    require(launcher_->prepare(error), error);
    const std::string base_entries = std::string("dn: ") + kSuffix + "\nobjectClass: organization\no: acme\n" +
                                     kind.suffix_attributes + "\n" + organizational_unit("servers") + "\n" +
                                     organizational_unit("other") + "\n" +
                                     account_entry(kReaderDn, reader_password()) + "\n";
    const std::string admin_entry =
        kind.admin_is_root ? "" : account_entry(kAdminDn, admin_password(), kind.admin_attributes) + "\n";
    require(launcher_->load_ldif(base_entries + admin_entry + options_.initial_ldif, error), error);
    start();
}

DirectoryServer::~DirectoryServer() {
    if (keep_directories()) std::fprintf(stderr, "server directory kept: %s\n", directory().c_str());
}

void DirectoryServer::start() {
    std::string error;
    require(launcher_->start(error), error);
}

void DirectoryServer::stop() { launcher_->stop(); }

void DirectoryServer::suspend() {
    if (!launcher_->running()) throw std::runtime_error("suspend: the server is not running");
    launcher_->suspend();
}

void DirectoryServer::resume() { launcher_->resume(); }

void DirectoryServer::add_ldif(const std::string &ldif) const {
    require_success(veldldap::run_program({"ldapadd", "-x", "-o", tool_network_timeout, "-H", url(), "-D", admin_dn(),
                                           "-w", admin_password()},
                                          {.input = ldif}),
                    "ldapadd");
}

std::string DirectoryServer::ldapsearch_output(const std::string &base, const std::string &scope,
                                               const std::string &filter,
                                               const std::vector<std::string> &attributes) const {
    constexpr int no_such_object = 32;
    std::vector<std::string> argv = {"ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-o", tool_network_timeout,
                                     "-H", url(), "-D", admin_dn(), "-w", admin_password(),
                                     "-b", base, "-s", scope, filter};
    argv.insert(argv.end(), attributes.begin(), attributes.end());
    const veldldap::ProgramResult result = veldldap::run_program(argv);
    if (result.exit_code == no_such_object) return {};
    require_success(result, "ldapsearch");
    return result.out;
}
