/*
 * The OpenLDAP server (slapd) as a throw-away directory server: a
 * slapd.conf in the server's directory with an mdb database in "data",
 * the log "slapd.log", entries loaded with slapadd, and the ports given on
 * the command line.  Everything else is the shared launcher's
 * (directory_launcher.h).
 */
#ifndef VELDLDAP_SLAPD_LAUNCHER_H
#define VELDLDAP_SLAPD_LAUNCHER_H

#include <string>
#include <vector>

#include "directory_launcher.h"

namespace veldldap {

using SlapdLaunchOptions = DirectoryLaunchOptions;

class SlapdLauncher : public DirectoryLauncher {
public:
    explicit SlapdLauncher(SlapdLaunchOptions options);

    // Loads entries with slapadd; the server must be stopped.
    bool load_ldif(const std::string &ldif, std::string &error) override;
    std::string log_file() const override { return directory() + "/slapd.log"; }
    std::string config_file() const { return directory() + "/slapd.conf"; }

private:
    bool write_configuration(std::string &error) override;
    bool use_ports(std::string &) override { return true; }  // they are on the command line
    std::vector<std::string> command() const override;
    std::string pid_file() const override { return directory() + "/slapd.pid"; }
};

}  // namespace veldldap

#endif
