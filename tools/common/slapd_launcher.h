/*
 * A throw-away OpenLDAP server (slapd) on 127.0.0.1: its own temporary
 * directory (configuration, mdb data, the log "slapd.log"), free ports, the
 * given schema files, a suffix with a root account, entries loaded with
 * slapadd, and optionally TLS (StartTLS on the ldap:// port, and an ldaps://
 * port when asked for).  start() picks free ports, retries when another
 * process takes one first, and returns once slapd has written its pid file
 * and accepts connections; later starts reuse the ports.  prepare() must
 * come first.  The destructor
 * stops the server and removes the directory (VELDLDAP_KEEP_SLAPD keeps it).
 * Errors are returned as text, never thrown.  veldir's demo and the tests'
 * SlapdServer fixture are built on it.
 */
#ifndef VELDLDAP_SLAPD_LAUNCHER_H
#define VELDLDAP_SLAPD_LAUNCHER_H

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "throwaway_ca.h"

namespace veldldap {

struct SlapdLaunchOptions {
    std::string suffix = "o=demo";
    std::string root_dn = "cn=admin,o=demo";
    std::string root_password = "secret";
    // Included after the system's core, cosine and inetorgperson schemas.
    std::vector<std::string> schema_files;
    // The server's certificate files; none: no TLS, unless make_tls.
    std::optional<TlsFiles> tls;
    // Make a throw-away CA and server certificate in the server's directory.
    bool make_tls = false;
    bool ldaps_port = false;  // with TLS: a second port for ldaps://
    // Lines of the database section after suffix, root and directory
    // (limits, access rules).
    std::string database_settings;
    // slapd's debug level ("none": errors only).
    std::string debug_level = "none";
};

class SlapdLauncher {
public:
    explicit SlapdLauncher(SlapdLaunchOptions options);
    ~SlapdLauncher();
    SlapdLauncher(const SlapdLauncher &) = delete;
    SlapdLauncher &operator=(const SlapdLauncher &) = delete;

    // Makes the directory and writes the configuration; false with `error`.
    bool prepare(std::string &error);
    // Loads entries with slapadd; the server must be stopped.
    bool load_ldif(const std::string &ldif, std::string &error);
    bool start(std::string &error);
    // SIGTERM (SIGKILL when `force`); the data stay.  Does nothing when stopped.
    void stop(bool force = false);
    // SIGSTOP / SIGCONT: the kernel still accepts connections, nobody answers.
    void suspend();
    void resume();
    bool running();

    pid_t pid() const { return pid_; }
    int port() const { return port_; }
    int ldaps_port() const { return ldaps_port_; }
    std::string url() const;        // "ldap://127.0.0.1:PORT"
    std::string ldaps_url() const;  // "ldaps://127.0.0.1:PORT", or "" without an ldaps port
    const std::string &directory() const { return directory_; }
    std::string log_file() const { return directory_ + "/slapd.log"; }
    std::string config_file() const { return directory_ + "/slapd.conf"; }
    // The certificate files in use (given or made), or none.
    const std::optional<TlsFiles> &tls() const { return options_.tls; }

private:
    bool write_configuration(std::string &error) const;
    bool spawn(std::string &error);
    bool wait_until_ready();

    SlapdLaunchOptions options_;
    const pid_t owner_;
    std::string directory_;
    pid_t pid_ = -1;
    int port_ = 0;
    int ldaps_port_ = 0;
    bool ports_fixed_ = false;
    bool suspended_ = false;
};

// `count` distinct TCP ports on 127.0.0.1 that were free a moment ago.
std::vector<int> free_loopback_ports(int count);

// Whether something accepts TCP connections on 127.0.0.1 at `port`.
bool accepts_connections(int port);

}  // namespace veldldap

#endif
