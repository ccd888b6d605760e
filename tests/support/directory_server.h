/*
 * A throw-away directory server for directory tests, whichever kind:
 * on 127.0.0.1 on free ports, in its own temporary directory, with the
 * velmor schema, an administrator (never size-limited, may write below the
 * suffix), a read-only account and anonymous read access (passwords
 * excepted); optionally TLS (StartTLS on the ldap:// port and a separate
 * ldaps:// port) with a certificate authority of its own and an unrelated
 * one for negative tests.  Each kind grants these in its own terms
 * (KindSetup in the source).  It is stopped and its directory removed when
 * the object goes; the tools' shared launcher (tools/common) runs it as a
 * child that receives SIGTERM when the thread that started it dies, so a
 * crashed or killed test leaves no server behind.
 * VELDLDAP_KEEP_SLAPD keeps the directory (configuration, data and the
 * server's log) for inspection; VELDLDAP_SLAPD_DEBUG and
 * VELDLDAP_DS389_DEBUG set the servers' debug levels (default: errors
 * only).  Failures to set up or to run a tool throw std::runtime_error with
 * the tool's own message.
 */
#ifndef VELDLDAP_DIRECTORY_SERVER_H
#define VELDLDAP_DIRECTORY_SERVER_H

#include <memory>
#include <string>
#include <vector>

#include "directory_launcher.h"

// Set the fields of a default object: designated initializers that leave
// fields out trip -Wmissing-field-initializers.
struct DirectoryServerOptions {
    bool tls = false;
    // Most entries a search returns to anyone but the administrator; 0 means
    // no limit (not the servers' defaults of 500 or 2000).
    int size_limit = 0;
    // Loaded offline before the first start, after the base entries: the
    // fast path for thousands of entries.
    std::string initial_ldif;
};

class DirectoryServer {
public:
    explicit DirectoryServer(veldldap::DirectoryFlavour flavour, DirectoryServerOptions options = {});
    ~DirectoryServer();
    DirectoryServer(const DirectoryServer &) = delete;
    DirectoryServer &operator=(const DirectoryServer &) = delete;

    // Returns once the server accepts connections (10 s at most); the
    // constructor starts it.  The first start picks free ports and retries with others on a collision; later
    // starts reuse the same ports.  Does nothing while running.
    void start();
    // SIGTERM, then SIGKILL after 10 s; the data stay.  Does nothing when stopped.
    void stop();
    // SIGSTOP / SIGCONT: connections are accepted by the kernel but nothing
    // answers until resume().  suspend() returns once every thread of the
    // server has stopped.  stop() resumes first.
    void suspend();
    void resume();

    int port() const { return launcher_->port(); }
    int ldaps_port() const { return launcher_->ldaps_port(); }  // 0 without TLS
    std::string url() const { return launcher_->url(); }       // "ldap://127.0.0.1:PORT"

    // The certificate authority that signed the server certificate (for
    // 127.0.0.1 and localhost), and one that did not.  Empty without TLS.
    const std::string &ca_file() const { return ca_file_; }
    const std::string &wrong_ca_file() const { return wrong_ca_file_; }

    // The naming context, and the organizational unit of the server entries
    // in it, present from the start (as is ou=other).
    static constexpr const char *kSuffix = "o=acme";
    static constexpr const char *kServersBase = "ou=servers,o=acme";
    static constexpr const char *kAdminDn = "cn=admin,o=acme";
    static constexpr const char *kReaderDn = "cn=reader,o=acme";
    std::string suffix() const { return kSuffix; }
    std::string servers_base() const { return kServersBase; }
    std::string admin_dn() const { return kAdminDn; }
    std::string admin_password() const { return "admin-secret"; }
    std::string reader_dn() const { return kReaderDn; }
    std::string reader_password() const { return "reader-secret"; }
    const std::string &directory() const { return launcher_->directory(); }

    // LDIF of a server entry below kServersBase (or `base`), with more
    // attribute lines, ending in a blank line.
    static std::string server_entry(const std::string &name, const std::string &more = "",
                                    const std::string &base = kServersBase) {
        return "dn: velmorServername=" + name + "," + base + "\nobjectClass: velmorServer\nvelmorServername: " +
               name + "\n" + more + "\n";
    }
    // Adds entries with ldapadd, bound as the administrator.
    void add_ldif(const std::string &ldif) const;
    // What the ldapsearch tool finds, bound as the administrator (so no size
    // limit applies): LDIF without comments or line wrapping ("ldapsearch
    // -LLL -o ldif-wrap=no").  `scope` is "base", "one" or "sub"; no
    // attributes means all user attributes.  A missing base gives "".
    std::string ldapsearch_output(const std::string &base, const std::string &scope,
                                  const std::string &filter,
                                  const std::vector<std::string> &attributes = {}) const;

private:
    DirectoryServerOptions options_;
    std::unique_ptr<veldldap::DirectoryLauncher> launcher_;
    std::string ca_file_, wrong_ca_file_;
};

#endif
