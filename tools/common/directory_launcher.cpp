#include "directory_launcher.h"

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
#include "ds389_launcher.h"
#include "slapd_launcher.h"

namespace veldldap {
namespace {

constexpr int kStartAttempts = 10;  // another process may take a free port first
constexpr auto kReadyTimeout = std::chrono::seconds(10);
constexpr int kStopGraceMs = 10000;
constexpr auto kSuspendTimeout = std::chrono::seconds(2);

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

std::string read_text_file(const std::string &path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::unique_ptr<DirectoryLauncher> make_directory_launcher(DirectoryFlavour flavour, DirectoryLaunchOptions options) {
    if (flavour == DirectoryFlavour::ds389) return std::make_unique<Ds389Launcher>(std::move(options));
    return std::make_unique<SlapdLauncher>(std::move(options));
}

bool directory_server_installed(DirectoryFlavour flavour) {
    return flavour == DirectoryFlavour::ds389 ? Ds389Launcher::installed() : !find_program("slapd").empty();
}

const char *schema_file_name(DirectoryFlavour flavour) {
    return flavour == DirectoryFlavour::ds389 ? "velmor-389ds.ldif" : "velmor.schema";
}

DirectoryLauncher::DirectoryLauncher(DirectoryLaunchOptions options, std::string kind)
    : options_(std::move(options)), kind_(std::move(kind)), owner_(::getpid()) {}

DirectoryLauncher::~DirectoryLauncher() {
    // A forked child of the owner (a test's death test) must not stop its parent's server.
    if (::getpid() != owner_) return;
    stop();
    if (directory_.empty() || std::getenv("VELDLDAP_KEEP_SLAPD") != nullptr) return;
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::string DirectoryLauncher::url() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

std::string DirectoryLauncher::ldaps_url() const {
    return ldaps_port_ == 0 ? std::string() : "ldaps://127.0.0.1:" + std::to_string(ldaps_port_);
}

bool DirectoryLauncher::wants_ldaps_port() const { return options_.tls && options_.ldaps_port; }

bool DirectoryLauncher::prepare(std::string &error) {
    if (directory_.empty()) {
        // In TMPDIR when set, where the user wants temporary files (these hold keys and the root password).
        std::error_code no_temporary;
        std::filesystem::path temporary = std::filesystem::temp_directory_path(no_temporary);
        if (no_temporary) temporary = "/tmp";
        std::string pattern = (temporary / ("veldldap-" + kind_ + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            error = std::string("cannot create a temporary directory: ") + std::strerror(errno);
            return false;
        }
        directory_ = pattern;
    }
    if (options_.make_tls) {
        TlsFiles files;
        if (!make_throwaway_ca(directory_, log_file(), false, files, error)) return false;
        options_.tls = files;
    }
    return write_configuration(error);
}

bool DirectoryLauncher::start(std::string &error) {
    if (running()) return true;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (!ports_fixed_) {
            const bool with_ldaps = wants_ldaps_port();
            const int picked = (options_.port == 0 ? 1 : 0) + (with_ldaps ? 1 : 0);
            const std::vector<int> ports = free_loopback_ports(picked);
            if (ports.size() != static_cast<std::size_t>(picked)) {
                error = std::string("no free port on 127.0.0.1: ") + std::strerror(errno);
                return false;
            }
            port_ = options_.port != 0 ? options_.port : ports.front();
            ldaps_port_ = with_ldaps ? ports.back() : 0;
            if (!use_ports(error)) return false;
        }
        if (!spawn(error)) return false;
        if (wait_until_ready()) {
            ports_fixed_ = true;
            return true;
        }
        const bool exited = pid_ < 0;
        stop(true);
        // Only an early exit may be a port collision worth another try, and
        // only with ports of our own choosing.
        if (ports_fixed_ || !exited || options_.port != 0) break;
    }
    error = kind_ + " did not start (" + log_file() + "):\n" + last_lines(log_file(), 10);
    return false;
}

bool DirectoryLauncher::spawn(std::string &error) {
    ::unlink(pid_file().c_str());
    pid_ = start_child(command(), log_file(), error,
                       ChildOptions{.own_process_group = true, .die_with_parent = true});
    suspended_ = false;
    return pid_ > 0;
}

bool DirectoryLauncher::wait_until_ready() {
    // The pid file appears only after the server has bound its ports, so a
    // listener of another process on a port picked here is not taken for it.
    const std::string own_pid = std::to_string(pid_) + "\n";
    for (const auto until = std::chrono::steady_clock::now() + kReadyTimeout; std::chrono::steady_clock::now() < until;) {
        if (!running()) return false;
        if (read_text_file(pid_file()).starts_with(own_pid) && accepts_connections(port_) &&
            (ldaps_port_ == 0 || accepts_connections(ldaps_port_)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void DirectoryLauncher::stop(bool force) {
    if (pid_ <= 0) return;
    if (suspended_) ::kill(pid_, SIGCONT);
    stop_child(pid_, force, kStopGraceMs);
    pid_ = -1;
    suspended_ = false;
}

namespace {

// Every thread of the process is in the stopped state ("T" in its stat line).
bool all_threads_stopped(pid_t pid) {
    std::error_code error;
    bool any = false;
    for (const auto &task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        const std::string stat = read_text_file((task.path() / "stat").string());
        const std::size_t name_end = stat.rfind(") ");  // the command name may hold blanks
        if (name_end == std::string::npos || stat.size() <= name_end + 2 || stat[name_end + 2] != 'T') return false;
        any = true;
    }
    return any;
}

}  // namespace

void DirectoryLauncher::suspend() {
    if (!running()) return;
    ::kill(pid_, SIGSTOP);
    suspended_ = true;
    // SIGSTOP takes effect asynchronously: a thread not stopped yet could
    // still answer a request sent right after this returns.
    const auto until = std::chrono::steady_clock::now() + kSuspendTimeout;
    while (!all_threads_stopped(pid_) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void DirectoryLauncher::resume() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
    suspended_ = false;
}

bool DirectoryLauncher::running() {
    if (pid_ <= 0) return false;
    if (!wait_child(pid_, 0)) return true;
    pid_ = -1;
    return false;
}

}  // namespace veldldap
