#include "ds389_launcher.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <utility>

#include "child_process.h"

namespace veldldap {
namespace {

namespace fs = std::filesystem;

constexpr const char *kProgram = "ns-slapd";
constexpr const char *kDseTemplate = "/usr/share/dirsrv/data/template-dse.ldif";
constexpr const char *kCollationFile = "/etc/dirsrv/config/slapd-collations.conf";
constexpr const char *kBackend = "userRoot";
constexpr const char *kServerCertificate = "Server-Cert";  // the name the template's TLS entry asks for

// ns-slapd's -d takes a bit mask; the severities have bits of their own, and
// 0 would silence even the errors.  The server logs EMERG to ERR; imports
// and exports add WARNING, which says why an entry was skipped.
constexpr const char *kServerErrors = "31457280";
constexpr const char *kOfflineErrorsAndWarnings = "65011712";

// Subdirectories of the server's directory that the configuration names.
constexpr const char *kSubdirectories[] = {"config/schema", "db", "log", "run", "lock", "tmp", "ldif", "bak"};

std::string current_user() {
    const passwd *entry = ::getpwuid(::geteuid());
    return entry != nullptr ? entry->pw_name : "";
}

// The template's %name% placeholders and what stands for them here.
std::vector<std::pair<std::string, std::string>> placeholders(const std::string &directory,
                                                              const DirectoryLaunchOptions &options, int port) {
    return {
        {"schema_dir", directory + "/config/schema"}, {"lock_dir", directory + "/lock"},
        {"tmp_dir", directory + "/tmp"},              {"cert_dir", directory + "/config"},
        {"ldif_dir", directory + "/ldif"},            {"bak_dir", directory + "/bak"},
        {"run_dir", directory + "/run"},              {"inst_dir", directory},
        {"log_dir", directory + "/log"},              {"fqdn", "localhost"},
        {"ds_port", std::to_string(port)},            {"ds_user", current_user()},
        {"rootdn", options.root_dn},                  {"ds_passwd", options.root_password},
        {"ldapi_enabled", "off"},                     {"ldapi", directory + "/run/ldapi"},
        {"ldapi_autobind", "off"},                    {"ds_suffix", options.suffix},
        {"config_dir", directory + "/config"},        {"db_dir", directory + "/db"},
        {"db_home_dir", directory + "/db"},
        // Shuts down in a fraction of the time the default Berkeley DB takes.
        {"db_lib", "mdb"},
    };
}

// The template with its placeholders filled in; unknown %...% texts stay.
std::string filled_template(const std::string &text, const std::vector<std::pair<std::string, std::string>> &values) {
    std::string filled;
    filled.reserve(text.size());
    std::size_t at = 0;
    for (std::size_t open; (open = text.find('%', at)) != std::string::npos;) {
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) break;
        const std::string_view name(text.data() + open + 1, close - open - 1);
        filled.append(text, at, open - at);
        const auto value = std::find_if(values.begin(), values.end(), [&](const auto &v) { return v.first == name; });
        if (value == values.end()) {
            filled += '%';
            at = open + 1;
            continue;
        }
        filled += value->second;
        at = close + 1;
    }
    filled.append(text, at);
    return filled;
}

// Puts attribute lines right after the "dn:" line of an entry.  The
// template is plain LDIF written by the server's makers, one "dn: " line
// per entry, so a text search finds the entry.
bool add_attributes(std::string &ldif, const std::string &dn, const std::string &lines) {
    const std::string dn_line = "dn: " + dn + "\n";
    std::size_t at = ldif.starts_with(dn_line) ? 0 : ldif.find("\n" + dn_line);
    if (at == std::string::npos) return false;
    at = ldif.find('\n', at + (at == 0 ? 0 : 1)) + 1;
    ldif.insert(at, lines);
    return true;
}

std::string size_limit_value(int size_limit) { return size_limit == 0 ? "-1" : std::to_string(size_limit); }

std::string frontend_settings(const DirectoryLaunchOptions &options, int ldaps_port) {
    // The clear-text scheme must come before the password it describes.
    std::string lines = "nsslapd-rootpwstoragescheme: CLEAR\n"
                        "nsslapd-listenhost: 127.0.0.1\n"
                        "nsslapd-securelistenhost: 127.0.0.1\n"
                        // With -d the diagnostics go to standard error, that is the log file.
                        "nsslapd-errorlog-logging-enabled: off\n";
    // Offline imports run before the ports are known and need no TLS; the
    // server refuses TLS without a valid ldaps:// port.
    if (options.tls && ldaps_port > 0)
        lines += "nsslapd-security: on\nnsslapd-secureport: " + std::to_string(ldaps_port) + "\n";
    if (options.size_limit >= 0) lines += "nsslapd-sizelimit: " + size_limit_value(options.size_limit) + "\n";
    return lines;
}

std::string backend_entries(const std::string &suffix) {
    return std::string("\ndn: cn=") + kBackend + ",cn=ldbm database,cn=plugins,cn=config\n"
           "objectClass: top\nobjectClass: extensibleObject\nobjectClass: nsBackendInstance\n"
           "cn: " + kBackend + "\nnsslapd-suffix: " + suffix + "\n\n"
           "dn: cn=\"" + suffix + "\",cn=mapping tree,cn=config\n"
           "objectClass: top\nobjectClass: extensibleObject\nobjectClass: nsMappingTree\n"
           "cn: " + suffix + "\nnsslapd-state: backend\nnsslapd-backend: " + kBackend + "\n";
}

// The server reads schema files of its schema directory in name order and
// only those whose names begin with two digits.
std::string schema_file_name_in_instance(const fs::path &file) {
    const std::string name = file.filename().string();
    const bool numbered = name.size() > 2 && std::isdigit(static_cast<unsigned char>(name[0])) &&
                          std::isdigit(static_cast<unsigned char>(name[1]));
    return numbered ? name : "98" + name;
}

bool write_file(const std::string &path, const std::string &text, std::string &error) {
    std::ofstream file(path);
    file << text;
    if (file.flush()) return true;
    error = "cannot write " + path;
    return false;
}

}  // namespace

// Not "ns-slapd": the server takes what follows "slapd-" in its configuration
// path for an instance name and fails on run directories made for it.
Ds389Launcher::Ds389Launcher(DirectoryLaunchOptions options) : DirectoryLauncher(std::move(options), "ds389") {}

bool Ds389Launcher::installed() { return !find_program(kProgram).empty() && fs::exists(kDseTemplate); }

bool Ds389Launcher::write_configuration(std::string &error) {
    for (const char *subdirectory : kSubdirectories) {
        std::error_code failure;
        fs::create_directories(directory() + "/" + subdirectory, failure);
        if (failure) {
            error = "cannot create " + directory() + "/" + subdirectory + ": " + failure.message();
            return false;
        }
    }
    std::error_code failure;
    // The internationalisation plugin refuses to start without its collations.
    fs::copy_file(kCollationFile, config_directory() + "/slapd-collations.conf", failure);
    if (failure) {
        error = std::string("cannot copy ") + kCollationFile + ": " + failure.message();
        return false;
    }
    return install_schema_files(error) && (!tls() || make_certificate_database(error)) && write_dse(error);
}

bool Ds389Launcher::install_schema_files(std::string &error) const {
    const std::string schema_directory = config_directory() + "/schema";
    // Schema changes made over LDAP are kept in this file.
    if (!write_file(schema_directory + "/99user.ldif", "dn: cn=schema\n", error)) return false;
    for (const std::string &schema : options().schema_files) {
        std::error_code failure;
        fs::copy_file(schema, schema_directory + "/" + schema_file_name_in_instance(schema), failure);
        if (failure) {
            error = "cannot copy " + schema + ": " + failure.message();
            return false;
        }
    }
    return true;
}

bool Ds389Launcher::make_certificate_database(std::string &error) const {
    const std::string database = config_directory();
    const std::string bundle = directory() + "/server.p12";
    const bool made =
        run_child({"certutil", "-N", "-d", database, "--empty-password"}, log_file(), error) &&
        run_child({"certutil", "-A", "-d", database, "-n", "Throw-away CA", "-t", "CT,,", "-a", "-i",
                   tls()->ca_certificate},
                  log_file(), error) &&
        run_child({"openssl", "pkcs12", "-export", "-in", tls()->server_certificate, "-inkey", tls()->server_key,
                   "-name", kServerCertificate, "-out", bundle, "-passout", "pass:"},
                  log_file(), error) &&
        run_child({"pk12util", "-i", bundle, "-d", database, "-W", ""}, log_file(), error);
    ::unlink(bundle.c_str());
    return made;
}

bool Ds389Launcher::use_ports(std::string &error) { return write_dse(error); }

bool Ds389Launcher::write_dse(std::string &error) const {
    const std::string text = read_text_file(kDseTemplate);
    if (text.empty()) {
        error = std::string("cannot read ") + kDseTemplate + " (is 389-ds-base installed?)";
        return false;
    }
    if (current_user().empty()) {
        error = "no user name for user id " + std::to_string(::geteuid());
        return false;
    }
    std::string dse = filled_template(text, placeholders(directory(), options(), port()));
    const bool placed =
        add_attributes(dse, "cn=config", frontend_settings(options(), ldaps_port())) &&
        // Unindexed searches look at every entry below their base; the server
        // stops at 5000 entries for everyone but the root account, slapd never.
        add_attributes(dse, "cn=config,cn=ldbm database,cn=plugins,cn=config", "nsslapd-lookthroughlimit: -1\n");
    if (!placed) {
        error = std::string(kDseTemplate) + " has no server or database configuration entry";
        return false;
    }
    while (dse.ends_with("\n\n")) dse.pop_back();  // an empty entry would end the file's reading
    dse += backend_entries(options().suffix);
    if (!options().database_settings.empty()) dse += "\n" + options().database_settings;
    return write_file(config_directory() + "/dse.ldif", dse, error);
}

bool Ds389Launcher::run_offline(const std::vector<std::string> &arguments, std::string &error) const {
    std::vector<std::string> command = {kProgram};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.insert(command.end(), {"-D", config_directory(), "-n", kBackend, "-d", kOfflineErrorsAndWarnings});
    return run_child(command, log_file(), error);
}

bool Ds389Launcher::load_ldif(const std::string &ldif, std::string &error) {
    if (running()) {
        error = std::string(kProgram) + " loads entries only while it is stopped";
        return false;
    }
    const std::string import_file = directory() + "/import.ldif";
    const std::string export_file = directory() + "/export.ldif";
    // The database file exists once an import or the server has run.
    const bool has_entries = fs::exists(directory() + "/db/data.mdb");
    if (has_entries && !run_offline({"db2ldif", "-a", export_file}, error)) return false;
    {
        std::ofstream import(import_file);
        std::error_code no_export;
        // Streaming an empty file would mark the output as failed.
        if (has_entries && fs::file_size(export_file, no_export) > 0 && !no_export)
            import << std::ifstream(export_file).rdbuf() << '\n';
        import << ldif;
        if (!import.flush()) {
            error = "cannot write " + import_file;
            return false;
        }
    }
    const bool loaded = run_offline({"ldif2db", "-i", import_file}, error);
    ::unlink(import_file.c_str());
    ::unlink(export_file.c_str());
    return loaded;
}

std::vector<std::string> Ds389Launcher::command() const {
    // "-d" keeps the server in the foreground.
    const std::string level = options().debug_level.empty() ? kServerErrors : options().debug_level;
    return {kProgram, "-D", config_directory(), "-i", pid_file(), "-d", level};
}

}  // namespace veldldap
