/*
 * A throw-away directory server on 127.0.0.1, whichever kind: its own
 * temporary directory, free ports, the given schema files, a suffix with a
 * root account, entries loaded offline, and optionally TLS (StartTLS on the
 * ldap:// port, and an ldaps:// port when asked for).  This base owns what
 * every kind shares: the directory, the ports and their retry on a
 * collision, the child process and its stop, suspend and resume; each kind
 * (slapd_launcher.h, ds389_launcher.h) writes its configuration, names its
 * command line and loads entries its own way.
 *
 * prepare() must come first.  start() picks free ports, retries when
 * another process takes one first, and returns once the server has written
 * its pid file and accepts connections; later starts reuse the ports.  The
 * server is a child in a process group of its own that receives SIGTERM
 * when the thread that started it dies.  The destructor stops it and
 * removes the directory (VELDLDAP_KEEP_SLAPD keeps it).  Errors are
 * returned as text, never thrown.  veldir's demo, the benchmarks and the
 * tests' server fixtures are built on it; make_directory_launcher() lets
 * them pick the kind.
 */
#ifndef VELDLDAP_DIRECTORY_LAUNCHER_H
#define VELDLDAP_DIRECTORY_LAUNCHER_H

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "throwaway_ca.h"

namespace veldldap {

enum class DirectoryFlavour { slapd, ds389 };

struct DirectoryLaunchOptions {
    std::string suffix = "o=demo";
    std::string root_dn = "cn=admin,o=demo";
    std::string root_password = "secret";
    // In the kind's own form (schema_file_name() names the velmor one);
    // loaded after the system's standard schemas.
    std::vector<std::string> schema_files;
    // The server's certificate files; none: no TLS, unless make_tls.
    std::optional<TlsFiles> tls;
    // Make a throw-away CA and server certificate in the server's directory.
    bool make_tls = false;
    bool ldaps_port = false;  // with TLS: a second port for ldaps://
    // Most entries a search returns to anyone but the root account; 0: no
    // limit; -1: the server's own default.
    int size_limit = -1;
    // In the kind's own terms: slapd.conf lines of the database section
    // (indexes, access rules); LDIF entries added to 389 DS's dse.ldif.
    std::string database_settings;
    // The server's debug level in its own terms; empty: errors only.
    std::string debug_level;
    // The ldap:// port; 0: a free one, picked at the first start.  Servers
    // that must know each other's address before they start (replicas) are
    // given theirs.
    int port = 0;
    // In the kind's own terms: slapd.conf lines before the database section
    // (modules, serverID).
    std::string global_settings;
};

class DirectoryLauncher {
public:
    virtual ~DirectoryLauncher();
    DirectoryLauncher(const DirectoryLauncher &) = delete;
    DirectoryLauncher &operator=(const DirectoryLauncher &) = delete;

    // Makes the directory (and the TLS files) and writes the configuration;
    // false with `error`.
    bool prepare(std::string &error);
    // Adds entries offline; the server must be stopped.
    virtual bool load_ldif(const std::string &ldif, std::string &error) = 0;
    bool start(std::string &error);
    // SIGTERM (SIGKILL when `force`); the data stay.  Does nothing when stopped.
    void stop(bool force = false);
    // SIGSTOP / SIGCONT: the kernel still accepts connections, nobody
    // answers.  suspend() returns once every thread of the server has stopped.
    void suspend();
    void resume();
    bool running();

    pid_t pid() const { return pid_; }
    int port() const { return port_; }
    int ldaps_port() const { return ldaps_port_; }
    std::string url() const;        // "ldap://127.0.0.1:PORT"
    std::string ldaps_url() const;  // "ldaps://127.0.0.1:PORT", or "" without an ldaps port
    const std::string &directory() const { return directory_; }
    // The server's diagnostics.
    virtual std::string log_file() const = 0;
    // The certificate files in use (given or made), or none.
    const std::optional<TlsFiles> &tls() const { return options_.tls; }

protected:
    // `kind` names the server in messages and in the directory's name.
    DirectoryLauncher(DirectoryLaunchOptions options, std::string kind);

    // Called by prepare() once the directory and the TLS files exist.
    virtual bool write_configuration(std::string &error) = 0;
    // Called before each start that may use new ports.
    virtual bool use_ports(std::string &error) = 0;
    // The server in the foreground, so that this process owns its pid.
    virtual std::vector<std::string> command() const = 0;
    // Written by the server only once it listens on its ports.
    virtual std::string pid_file() const = 0;
    // Whether a separate ldaps:// port is opened.
    virtual bool wants_ldaps_port() const;

    const DirectoryLaunchOptions &options() const { return options_; }
    const std::string &kind() const { return kind_; }

private:
    bool spawn(std::string &error);
    bool wait_until_ready();

    DirectoryLaunchOptions options_;
    const std::string kind_;
    const pid_t owner_;
    std::string directory_;
    pid_t pid_ = -1;
    int port_ = 0;
    int ldaps_port_ = 0;
    bool ports_fixed_ = false;
    bool suspended_ = false;
};

std::unique_ptr<DirectoryLauncher> make_directory_launcher(DirectoryFlavour flavour, DirectoryLaunchOptions options);

// Whether the server programs of that kind are installed.
bool directory_server_installed(DirectoryFlavour flavour);

// The velmor schema in the form that kind loads (a file of schema/).
const char *schema_file_name(DirectoryFlavour flavour);

// `count` distinct TCP ports on 127.0.0.1 that were free a moment ago.
std::vector<int> free_loopback_ports(int count);

// Whether something accepts TCP connections on 127.0.0.1 at `port`.
bool accepts_connections(int port);

// A whole text file ("" when it cannot be read).
std::string read_text_file(const std::string &path);

}  // namespace veldldap

#endif
