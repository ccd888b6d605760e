/*
 * 389 Directory Server (ns-slapd) as a throw-away directory server.  Its
 * own tools only manage instances under /etc/dirsrv and /var, so the
 * instance is made by hand inside the server's directory: "config" holds
 * dse.ldif (made from the installed template with every path inside the
 * directory, one mdb backend for the suffix), the schema directory and,
 * with TLS, an NSS certificate database with the CA and the server
 * certificate; "db" the data, "log" the access log, "run" the pid file.
 * The server's diagnostics go to "ns-slapd.log".  Entries are loaded
 * offline with ldif2db.  Everything else is the shared launcher's
 * (directory_launcher.h).
 *
 * With TLS the server always opens an ldaps:// port as well: it refuses
 * TLS without one.
 */
#ifndef VELDLDAP_DS389_LAUNCHER_H
#define VELDLDAP_DS389_LAUNCHER_H

#include <string>
#include <vector>

#include "directory_launcher.h"

namespace veldldap {

class Ds389Launcher : public DirectoryLauncher {
public:
    explicit Ds389Launcher(DirectoryLaunchOptions options);

    // Whether ns-slapd and its configuration template are installed.
    static bool installed();

    // An import replaces the whole database, so entries already there are
    // exported and imported again with the new ones.
    bool load_ldif(const std::string &ldif, std::string &error) override;
    std::string log_file() const override { return directory() + "/ns-slapd.log"; }

private:
    bool write_configuration(std::string &error) override;
    bool use_ports(std::string &error) override;
    std::vector<std::string> command() const override;
    std::string pid_file() const override { return directory() + "/run/ns-slapd.pid"; }
    bool wants_ldaps_port() const override { return tls().has_value(); }

    std::string config_directory() const { return directory() + "/config"; }
    bool install_schema_files(std::string &error) const;
    bool make_certificate_database(std::string &error) const;
    bool write_dse(std::string &error) const;
    bool run_offline(const std::vector<std::string> &arguments, std::string &error) const;
};

}  // namespace veldldap

#endif
