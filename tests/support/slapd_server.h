/*
 * A throw-away OpenLDAP server for directory tests: slapd on 127.0.0.1 on
 * free ports, in its own temporary directory, with the velmor schema, an
 * administrator (the rootdn, never size-limited), a read-only account and
 * anonymous read access (passwords excepted); optionally TLS (StartTLS on
 * the ldap:// port and a separate ldaps:// port) with a certificate
 * authority of its own and an unrelated one for negative tests.
 *
 * The server itself is run by the tools' shared launcher (tools/common);
 * this class adds the test accounts, access rules and tools.  It is a child
 * of the test process.  It is stopped and its
 * directory removed when the object goes, and it receives SIGTERM when the
 * thread that started it dies, so a crashed or killed test leaves no server
 * behind.  VELDLDAP_KEEP_SLAPD keeps the directory (configuration, data and
 * the log "slapd.log") for inspection; VELDLDAP_SLAPD_DEBUG sets slapd's
 * debug level (default "none": errors only).  Failures to set up or to run
 * a tool throw std::runtime_error with the tool's own message.
 */
#ifndef VELDLDAP_SLAPD_SERVER_H
#define VELDLDAP_SLAPD_SERVER_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "slapd_launcher.h"

// Set the fields of a default object: designated initializers that leave
// fields out trip -Wmissing-field-initializers.
struct SlapdOptions {
    // The naming context; its first RDN must be o=, ou= or dc=.
    std::string suffix = "o=acme";
    bool tls = false;
    // Most entries a search returns to anyone but the administrator; 0 means
    // no limit (not slapd's default of 500).
    int size_limit = 0;
    // Loaded with slapadd before the first start, after the base entries:
    // the fast path for thousands of entries.
    std::string initial_ldif;
    // Start in the constructor.
    bool start = true;
};

class SlapdServer {
public:
    explicit SlapdServer(SlapdOptions options = {});
    ~SlapdServer();
    SlapdServer(const SlapdServer &) = delete;
    SlapdServer &operator=(const SlapdServer &) = delete;

    // Returns once the server accepts connections (10 s at most).  The first
    // start picks free ports and retries with others on a collision; later
    // starts reuse the same ports.  Does nothing while running.
    void start();
    // SIGTERM, then SIGKILL after 10 s; the data stay.  Does nothing when stopped.
    void stop();
    // Stop and start: same ports, same data.
    void restart();
    // SIGSTOP / SIGCONT: connections are accepted by the kernel but nothing
    // answers until resume().  suspend() returns once every thread of slapd
    // has stopped.  stop() resumes first.
    void suspend();
    void resume();
    bool running();
    pid_t pid() const { return launcher_.pid(); }

    int port() const { return launcher_.port(); }
    int ldaps_port() const { return launcher_.ldaps_port(); }  // 0 without TLS
    std::string url() const;                         // "ldap://127.0.0.1:PORT"

    // The certificate authority that signed the server certificate (for
    // 127.0.0.1 and localhost), and one that did not.  Empty without TLS.
    const std::string &ca_file() const { return ca_file_; }
    const std::string &wrong_ca_file() const { return wrong_ca_file_; }

    const std::string &suffix() const { return options_.suffix; }
    std::string admin_dn() const { return "cn=admin," + options_.suffix; }
    std::string admin_password() const { return "admin-secret"; }
    std::string reader_dn() const { return "cn=reader," + options_.suffix; }
    std::string reader_password() const { return "reader-secret"; }
    // The organizational unit of the server entries, present from the start.
    std::string servers_base() const { return "ou=servers," + options_.suffix; }
    const std::string &directory() const { return launcher_.directory(); }

    // Adds entries as the administrator: ldapadd while running, slapadd
    // while stopped.
    void add_ldif(const std::string &ldif);
    // What the ldapsearch tool finds, bound as the administrator (so no size
    // limit applies): LDIF without comments or line wrapping ("ldapsearch
    // -LLL -o ldif-wrap=no").  `scope` is "base", "one" or "sub"; no
    // attributes means all user attributes.  A missing base gives "".
    std::string ldapsearch_output(const std::string &base, const std::string &scope,
                                  const std::string &filter,
                                  const std::vector<std::string> &attributes = {}) const;
    // The server's own diagnostics so far.
    std::string log_text() const;

private:
    void run_as_admin(const char *tool, const std::string &ldif) const;

    SlapdOptions options_;
    veldldap::SlapdLauncher launcher_;
    std::string ca_file_, wrong_ca_file_;
};

#endif
