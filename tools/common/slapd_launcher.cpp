#include "slapd_launcher.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"

namespace veldldap {
namespace {

constexpr const char *kSlapdProgram = "slapd";
constexpr const char *kSystemSchemaDirectory = "/etc/ldap/schema";
constexpr const char *kModuleDirectory = "/usr/lib/ldap";

std::string quoted(const std::string &text) { return "\"" + text + "\""; }

std::string size_limit_line(int size_limit) {
    if (size_limit < 0) return "";
    return "sizelimit " + (size_limit == 0 ? std::string("unlimited") : std::to_string(size_limit)) + "\n";
}

}  // namespace

SlapdLauncher::SlapdLauncher(SlapdLaunchOptions options) : DirectoryLauncher(std::move(options), "slapd") {}

bool SlapdLauncher::write_configuration(std::string &error) {
    std::error_code failure;
    std::filesystem::create_directories(directory() + "/data", failure);
    if (failure) {
        error = "cannot create " + directory() + "/data: " + failure.message();
        return false;
    }
    std::ostringstream conf;
    conf << "# Throw-away server.\n";
    for (const char *schema : {"core", "cosine", "inetorgperson"})
        conf << "include " << kSystemSchemaDirectory << '/' << schema << ".schema\n";
    for (const std::string &schema : options().schema_files) conf << "include " << quoted(schema) << '\n';
    conf << "pidfile " << quoted(pid_file()) << '\n'
         << "argsfile " << quoted(directory() + "/slapd.args") << '\n'
         << "modulepath " << kModuleDirectory << '\n'
         << "moduleload back_mdb\n"
         << options().global_settings;
    if (tls())
        conf << "TLSCACertificateFile " << quoted(tls()->ca_certificate) << '\n'
             << "TLSCertificateFile " << quoted(tls()->server_certificate) << '\n'
             << "TLSCertificateKeyFile " << quoted(tls()->server_key) << '\n';
    conf << "database mdb\n"
         << "maxsize 1073741824\n"
         // Durability is worthless for a throw-away server; bulk adds get much faster.
         << "dbnosync\n"
         << "suffix " << quoted(options().suffix) << '\n'
         << "rootdn " << quoted(options().root_dn) << '\n'
         << "rootpw " << options().root_password << '\n'
         << "directory " << quoted(directory() + "/data") << '\n'
         << size_limit_line(options().size_limit) << options().database_settings;
    std::ofstream file(config_file());
    file << conf.str();
    if (!file.flush()) {
        error = "cannot write " + config_file();
        return false;
    }
    return true;
}

bool SlapdLauncher::load_ldif(const std::string &ldif, std::string &error) {
    const std::string ldif_file = directory() + "/load.ldif";
    if (!(std::ofstream(ldif_file) << ldif)) {
        error = "cannot write " + ldif_file;
        return false;
    }
    const bool loaded = run_child({"slapadd", "-q", "-f", config_file(), "-l", ldif_file}, log_file(), error);
    ::unlink(ldif_file.c_str());
    return loaded;
}

std::vector<std::string> SlapdLauncher::command() const {
    std::string urls = url() + "/";
    if (ldaps_port() != 0) urls += " " + ldaps_url() + "/";
    // "-d" keeps slapd in the foreground.
    const std::string level = options().debug_level.empty() ? "none" : options().debug_level;
    return {kSlapdProgram, "-d", level, "-f", config_file(), "-h", urls};
}

}  // namespace veldldap
