#include "connection_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <ldap.h>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "deadline.h"
#include "exit_codes.h"
#include "file_descriptor.h"
#include "init_string_check.h"

namespace grammar = veldldap::init_string;

namespace {

constexpr int kProbeSeconds = 3;

struct Target : ServerAddress {
    bool starttls = false;
    bool tls() const { return starttls || grammar::is_ldaps_scheme(scheme); }
};

// The server as the driver would reach it: the URL of the string as the
// client library parses it, and whether StartTLS comes first.
std::optional<Target> target_of(std::string_view init) {
    const std::optional<ServerAddress> address = server_address(init);
    if (!address) return std::nullopt;
    Target target;
    static_cast<ServerAddress &>(target) = *address;
    target.starttls = uses_starttls(init);
    return target;
}

int probe_seconds() {
    const int limit = deadline::step_time_limit(kProbeSeconds);
    return std::min(limit, kProbeSeconds);
}

// --- reaching the address -----------------------------------------------------

bool connect_within(const addrinfo &address, int timeout_ms, int &error) {
    const veldldap::FileDescriptor socket(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                         address.ai_protocol));
    if (socket.get() < 0) {
        error = errno;
        return false;
    }
    if (::connect(socket.get(), address.ai_addr, address.ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS) {
        error = errno;
        return false;
    }
    pollfd wait{socket.get(), POLLOUT, 0};
    if (::poll(&wait, 1, timeout_ms) <= 0) {
        error = ETIMEDOUT;
        return false;
    }
    socklen_t size = sizeof error;
    ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size);
    return error == 0;
}

// Why no TCP connection to the target can be made; "" when one can.
std::string unreachable(const Target &target) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    const int looked_up = ::getaddrinfo(target.host.c_str(), std::to_string(target.port).c_str(), &hints, &addresses);
    if (looked_up != 0)
        return "the host " + target.host + " of the URL cannot be resolved: " + ::gai_strerror(looked_up);
    int error = 0;
    bool reached = false;
    for (const addrinfo *address = addresses; address != nullptr && !reached; address = address->ai_next)
        reached = connect_within(*address, probe_seconds() * 1000, error);
    ::freeaddrinfo(addresses);
    if (reached) return "";
    return "the server is unreachable: connecting to " + target.host_port() + " fails (" + std::strerror(error) +
           "): check the host and port of the URL and that the directory server runs";
}

// --- the CA file and the server's certificate ---------------------------------

struct TrustList {
    gnutls_x509_trust_list_t list = nullptr;
    TrustList() { gnutls_x509_trust_list_init(&list, 0); }
    ~TrustList() { gnutls_x509_trust_list_deinit(list, 1); }
    TrustList(const TrustList &) = delete;
    TrustList &operator=(const TrustList &) = delete;
};

struct Certificate {
    gnutls_x509_crt_t crt = nullptr;
    Certificate() { gnutls_x509_crt_init(&crt); }
    ~Certificate() { gnutls_x509_crt_deinit(crt); }
    Certificate(const Certificate &) = delete;
    Certificate &operator=(const Certificate &) = delete;
};

std::string taken(gnutls_datum_t &datum) {
    std::string text(reinterpret_cast<const char *>(datum.data), datum.size);
    gnutls_free(datum.data);
    return text;
}

// Why the CA file cannot anchor the check; "" when it can.
std::string ca_file_problem(const std::string &ca, TrustList &trust) {
    if (ca.empty())
        return "no CA file was given (--ca FILE or ca = in libdsv.cfg), and with StartTLS or ldaps:// the server's "
               "certificate must verify against one";
    const veldldap::FileDescriptor file(::open(ca.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return "the CA file " + ca + " cannot be read: " + std::strerror(errno);
    if (gnutls_x509_trust_list_add_trust_file(trust.list, ca.c_str(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0) <= 0)
        return "the CA file " + ca + " holds no PEM certificate";
    return "";
}

class LdapSession {
public:
    explicit LdapSession(const std::string &url) { ldap_initialize(&ld_, url.c_str()); }
    ~LdapSession() {
        if (ld_ != nullptr) ldap_unbind_ext_s(ld_, nullptr, nullptr);
    }
    LdapSession(const LdapSession &) = delete;
    LdapSession &operator=(const LdapSession &) = delete;
    LDAP *get() const { return ld_; }

private:
    LDAP *ld_ = nullptr;
};

// The server's certificate (DER), taken in a handshake that verifies
// nothing, on a session of its own: the options set here stay on it.
bool fetch_certificate(const Target &target, std::string &der, std::string &error) {
    const LdapSession session(target.url());
    LDAP *ld = session.get();
    if (ld == nullptr) {
        error = "the URL is not usable";
        return false;
    }
    const int version = LDAP_VERSION3, allow = LDAP_OPT_X_TLS_ALLOW, client = 0;
    const timeval limit{probe_seconds(), 0};
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // The answer to StartTLS is awaited within the limit.  No network time-out:
    // with one, this client library's TLS handshake spins on a server that
    // stalls; the connection was just made, and the --deadline bounds the rest.
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &limit);
    ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &allow);
    ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, nullptr);
    ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTDIR, nullptr);
    ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &client);
    const int result = target.starttls ? ldap_start_tls_s(ld, nullptr, nullptr) : ldap_connect(ld);
    if (result != LDAP_SUCCESS) {
        error = ldap_err2string(result);
        return false;
    }
    berval certificate{};
    if (ldap_get_option(ld, LDAP_OPT_X_TLS_PEERCERT, &certificate) != LDAP_OPT_SUCCESS || certificate.bv_val == nullptr) {
        error = "the server sent no certificate";
        return false;
    }
    der.assign(certificate.bv_val, certificate.bv_len);
    ber_memfree(certificate.bv_val);
    return true;
}

std::string names_of(const Certificate &certificate) {
    std::string names;
    for (unsigned sequence = 0;; ++sequence) {
        char value[256];
        std::size_t size = sizeof value;
        const int type = gnutls_x509_crt_get_subject_alt_name(certificate.crt, sequence, value, &size, nullptr);
        if (type == GNUTLS_E_REQUESTED_DATA_NOT_AVAILABLE) break;
        std::string name;
        if (type == GNUTLS_SAN_DNSNAME) name.assign(value, size);
        char address[INET6_ADDRSTRLEN] = {};
        if (type == GNUTLS_SAN_IPADDRESS && (size == 4 || size == 16) &&
            ::inet_ntop(size == 4 ? AF_INET : AF_INET6, value, address, sizeof address) != nullptr)
            name = address;
        if (!name.empty()) names += (names.empty() ? "" : ", ") + name;
    }
    return names.empty() ? "only its subject" : names;
}

// The name the client library checks the certificate against: a URL with
// "localhost" is checked against this machine's own name.
std::string checked_name(const std::string &host) {
    if (::strcasecmp(host.c_str(), "localhost") != 0) return host;
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return host;
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    std::string canonical = name;
    if (::getaddrinfo(name, nullptr, &hints, &found) == 0) {
        if (found->ai_canonname != nullptr) canonical = found->ai_canonname;
        ::freeaddrinfo(found);
    }
    return canonical;
}

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// Why the certificate is not accepted with the CA file for the host; "" when it would be.
std::string certificate_problem(const Target &target, const std::string &der, const std::string &ca,
                                const std::string &ca_problem, TrustList &trust) {
    Certificate certificate;
    const gnutls_datum_t data{reinterpret_cast<unsigned char *>(const_cast<char *>(der.data())),
                              static_cast<unsigned>(der.size())};
    if (gnutls_x509_crt_import(certificate.crt, &data, GNUTLS_X509_FMT_DER) < 0)
        return "the server's certificate cannot be read";
    gnutls_datum_t subject{}, issuer{};
    gnutls_x509_crt_get_dn3(certificate.crt, &subject, 0);
    gnutls_x509_crt_get_issuer_dn3(certificate.crt, &issuer, 0);
    const std::string described =
        "the server's certificate (subject \"" + taken(subject) + "\", issued by \"" + taken(issuer) + "\")";
    if (!ca_problem.empty()) return ca_problem + "; " + described + " needs the CA file of its issuer";
    unsigned status = 0;
    gnutls_x509_trust_list_verify_crt(trust.list, &certificate.crt, 1, 0, &status, nullptr);
    if (status != 0) {
        gnutls_datum_t reason{};
        gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &reason, 0);
        return described + " does not verify against the CA file " + ca + ": " + trimmed(taken(reason)) +
               " Give the CA file of its issuer with --ca FILE or ca = in libdsv.cfg";
    }
    const std::string name = checked_name(target.host);
    if (gnutls_x509_crt_check_hostname2(certificate.crt, name.c_str(), 0) != 0) return "";
    const std::string why = name == target.host ? "the host of the URL"
                                                : "the name of this machine, which the client library checks "
                                                  "when the URL says " + target.host;
    return described + " is not for " + name + ", " + why + ": it names " + names_of(certificate) +
           "; use one of those names in the URL";
}

// Why a TLS session to the target fails; "" when veldir finds no reason.
std::string tls_problem(const Target &target, const std::string &ca) {
    TrustList trust;
    const std::string ca_problem = ca_file_problem(ca, trust);
    std::string der, error;
    if (!fetch_certificate(target, der, error)) {
        if (!ca_problem.empty()) return ca_problem;
        return "the TLS handshake with " + target.host_port() + " fails even without checking the certificate (" +
               error + "): check that the port is the server's " +
               (target.starttls ? "ldap port (StartTLS)" : "ldaps port") + " and that the server offers TLS";
    }
    return certificate_problem(target, der, ca, ca_problem, trust);
}

bool failed_before_an_answer(const Failure &failure) {
    if (!failure.from_driver || failure.exit_code == kExitDeadline || failure.step != "bind") return false;
    switch (failure.comp.dcl_provstatus) {
    case DLDAP_ERR_STARTTLS:
    case DLDAP_ERR_OPTION:
        return true;
    case DLDAP_ERR_BIND:
    case DLDAP_ERR_RESULT:
        return failure.comp.dcl_oserr < 0;  // the client library's own errors, not the server's
    default:
        return false;
    }
}

bool string_refused(const Failure &failure) {
    return failure.from_driver && failure.step == "open" &&
           (failure.comp.dcl_status == DLDAP_STATUS_BAD_OPTION || failure.comp.dcl_provstatus == DLDAP_ERR_INITSTR);
}

}  // namespace

void diagnose_connection_failure(std::string_view init, const std::string &ca, Failure &failure) {
    if (string_refused(failure)) {
        failure.diagnosis = init_string_problem(init);
        return;
    }
    if (!failed_before_an_answer(failure) || deadline::passed()) return;
    const std::optional<Target> target = target_of(init);
    if (!target) return;
    failure.diagnosis = unreachable(*target);
    if (failure.diagnosis.empty() && target->tls()) failure.diagnosis = tls_problem(*target, ca);
}

std::string unreachable_reason(std::string_view init) {
    const std::optional<Target> target = target_of(init);
    if (!target) return "the string names no server";
    return unreachable(*target);
}
