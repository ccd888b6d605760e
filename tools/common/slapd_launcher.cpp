#include "slapd_launcher.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "child_process.h"

namespace veldldap {
namespace {

constexpr const char *kSlapdProgram = "slapd";
constexpr const char *kSystemSchemaDirectory = "/etc/ldap/schema";
constexpr const char *kModuleDirectory = "/usr/lib/ldap";
constexpr int kStartAttempts = 10;  // another process may take a free port first
constexpr auto kReadyTimeout = std::chrono::seconds(10);
constexpr int kStopGraceMs = 10000;

std::string quoted(const std::string &text) { return "\"" + text + "\""; }

std::string read_file(const std::string &path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::vector<int> free_loopback_ports(int count) {
    // Every socket stays open until all ports are known, so they differ.
    std::vector<int> sockets, ports;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd >= 0) sockets.push_back(fd);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            break;
        ports.push_back(ntohs(address.sin_port));
    }
    for (int fd : sockets) ::close(fd);
    return ports;
}

bool accepts_connections(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

SlapdLauncher::SlapdLauncher(SlapdLaunchOptions options) : options_(std::move(options)), owner_(::getpid()) {}

SlapdLauncher::~SlapdLauncher() {
    // A forked child of the owner (a test's death test) must not stop its parent's server.
    if (::getpid() != owner_) return;
    stop();
    if (directory_.empty() || std::getenv("VELDLDAP_KEEP_SLAPD") != nullptr) return;
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::string SlapdLauncher::url() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

std::string SlapdLauncher::ldaps_url() const {
    return ldaps_port_ == 0 ? std::string() : "ldaps://127.0.0.1:" + std::to_string(ldaps_port_);
}

bool SlapdLauncher::prepare(std::string &error) {
    if (directory_.empty()) {
        char pattern[] = "/tmp/veldldap-slapd-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            error = std::string("cannot create a temporary directory: ") + std::strerror(errno);
            return false;
        }
        directory_ = pattern;
    }
    std::error_code failure;
    std::filesystem::create_directories(directory_ + "/data", failure);
    if (failure) {
        error = "cannot create " + directory_ + "/data: " + failure.message();
        return false;
    }
    if (options_.make_tls) {
        TlsFiles files;
        if (!make_throwaway_ca(directory_, log_file(), false, files, error)) return false;
        options_.tls = files;
    }
    return write_configuration(error);
}

bool SlapdLauncher::write_configuration(std::string &error) const {
    std::ostringstream conf;
    conf << "# Throw-away server.\n";
    for (const char *schema : {"core", "cosine", "inetorgperson"})
        conf << "include " << kSystemSchemaDirectory << '/' << schema << ".schema\n";
    for (const std::string &schema : options_.schema_files) conf << "include " << quoted(schema) << '\n';
    conf << "pidfile " << quoted(directory_ + "/slapd.pid") << '\n'
         << "argsfile " << quoted(directory_ + "/slapd.args") << '\n'
         << "modulepath " << kModuleDirectory << '\n'
         << "moduleload back_mdb\n";
    if (options_.tls)
        conf << "TLSCACertificateFile " << quoted(options_.tls->ca_certificate) << '\n'
             << "TLSCertificateFile " << quoted(options_.tls->server_certificate) << '\n'
             << "TLSCertificateKeyFile " << quoted(options_.tls->server_key) << '\n';
    conf << "database mdb\n"
         << "maxsize 1073741824\n"
         // Durability is worthless for a throw-away server; bulk adds get much faster.
         << "dbnosync\n"
         << "suffix " << quoted(options_.suffix) << '\n'
         << "rootdn " << quoted(options_.root_dn) << '\n'
         << "rootpw " << options_.root_password << '\n'
         << "directory " << quoted(directory_ + "/data") << '\n'
         << options_.database_settings;
    std::ofstream file(config_file());
    file << conf.str();
    if (!file.flush()) {
        error = "cannot write " + config_file();
        return false;
    }
    return true;
}

bool SlapdLauncher::load_ldif(const std::string &ldif, std::string &error) {
    const std::string ldif_file = directory_ + "/load.ldif";
    if (!(std::ofstream(ldif_file) << ldif)) {
        error = "cannot write " + ldif_file;
        return false;
    }
    const bool loaded = run_child({"slapadd", "-q", "-f", config_file(), "-l", ldif_file}, log_file(), error);
    ::unlink(ldif_file.c_str());
    return loaded;
}

bool SlapdLauncher::start(std::string &error) {
    if (running()) return true;
    const bool with_ldaps = options_.tls && options_.ldaps_port;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (!ports_fixed_) {
            const std::vector<int> ports = free_loopback_ports(with_ldaps ? 2 : 1);
            if (ports.empty()) {
                error = std::string("no free port on 127.0.0.1: ") + std::strerror(errno);
                return false;
            }
            port_ = ports[0];
            ldaps_port_ = with_ldaps ? ports.at(1) : 0;
        }
        if (!spawn(error)) return false;
        if (wait_until_ready()) {
            ports_fixed_ = true;
            return true;
        }
        const bool exited = pid_ < 0;
        stop(true);
        // Only an early exit may be a port collision worth another try.
        if (ports_fixed_ || !exited) break;
    }
    error = "slapd did not start (" + log_file() + "):\n" + last_lines(log_file(), 10);
    return false;
}

bool SlapdLauncher::spawn(std::string &error) {
    const std::string pid_file = directory_ + "/slapd.pid";
    ::unlink(pid_file.c_str());
    std::string urls = url() + "/";
    if (ldaps_port_ != 0) urls += " " + ldaps_url() + "/";
    // "-d" keeps slapd in the foreground, so this process owns its pid.
    pid_ = start_child({kSlapdProgram, "-d", options_.debug_level, "-f", config_file(), "-h", urls}, log_file(),
                       error, ChildOptions{.own_process_group = true, .die_with_parent = true});
    suspended_ = false;
    return pid_ > 0;
}

bool SlapdLauncher::wait_until_ready() {
    // slapd writes its pid file only after binding its ports, so a listener
    // of another process on a port picked here is not taken for slapd.
    const std::string pid_file = directory_ + "/slapd.pid";
    const std::string own_pid = std::to_string(pid_) + "\n";
    for (const auto until = std::chrono::steady_clock::now() + kReadyTimeout; std::chrono::steady_clock::now() < until;) {
        if (!running()) return false;
        if (read_file(pid_file).starts_with(own_pid) && accepts_connections(port_) &&
            (ldaps_port_ == 0 || accepts_connections(ldaps_port_)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void SlapdLauncher::stop(bool force) {
    if (pid_ <= 0) return;
    if (suspended_) ::kill(pid_, SIGCONT);
    stop_child(pid_, force, kStopGraceMs);
    pid_ = -1;
    suspended_ = false;
}

void SlapdLauncher::suspend() {
    if (!running()) return;
    ::kill(pid_, SIGSTOP);
    suspended_ = true;
}

void SlapdLauncher::resume() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
    suspended_ = false;
}

bool SlapdLauncher::running() {
    if (pid_ <= 0) return false;
    if (!wait_child(pid_, 0)) return true;
    pid_ = -1;
    return false;
}

}  // namespace veldldap
