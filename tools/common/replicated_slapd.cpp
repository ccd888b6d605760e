#include "replicated_slapd.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"

namespace veldldap {
namespace {

std::string quoted(const std::string &text) { return "\"" + text + "\""; }

// Writes `text` to `path`; false with `error`.
bool write_file(const std::string &path, const std::string &text, std::string &error) {
    if (std::ofstream(path) << text) return true;
    error = "cannot write " + path;
    return false;
}

}  // namespace

std::string replication_global_settings(int server_id) {
    return "moduleload syncprov\nserverID " + std::to_string(server_id) + "\n";
}

std::string replication_database_settings(const std::vector<std::string> &peer_urls, const std::string &suffix,
                                          const std::string &bind_dn, const std::string &password) {
    // Consumers find changes by entryCSN and entries by entryUUID.
    std::string settings = "index entryCSN,entryUUID eq\n";
    int replica_id = 0;
    for (const std::string &peer : peer_urls)
        // A stopped peer is tried again every second, without end, so a
        // provider that comes back catches up at once.
        settings += "syncrepl rid=" + std::to_string(++replica_id) + " provider=" + peer +
                    " bindmethod=simple binddn=" + quoted(bind_dn) + " credentials=" + password +
                    " searchbase=" + quoted(suffix) +
                    " type=refreshAndPersist retry=\"1 +\" timeout=1 network-timeout=1\n";
    return settings + "multiprovider on\noverlay syncprov\n";
}

ReplicatedSlapd::ReplicatedSlapd(const DirectoryLaunchOptions &options, int providers)
    : options_(options), count_(static_cast<std::size_t>(providers)) {}

bool ReplicatedSlapd::prepare(std::string &error) {
    const std::vector<int> ports = free_loopback_ports(static_cast<int>(count_));
    if (ports.size() != count_) {
        error = "no free ports on 127.0.0.1";
        return false;
    }
    DirectoryLaunchOptions shared = options_;
    for (std::size_t i = 0; i < count_; ++i) {
        std::vector<std::string> peers;
        for (std::size_t peer = 0; peer < count_; ++peer)
            if (peer != i) peers.push_back("ldap://127.0.0.1:" + std::to_string(ports[peer]));
        DirectoryLaunchOptions own = shared;
        own.port = ports[i];
        own.global_settings += replication_global_settings(static_cast<int>(i) + 1);
        own.database_settings +=
            replication_database_settings(peers, options_.suffix, options_.root_dn, options_.root_password);
        auto provider = std::make_unique<SlapdLauncher>(own);
        if (!provider->prepare(error)) return false;
        // One CA for the whole set: a client configures one CA file for all of them.
        if (i == 0 && provider->tls()) {
            shared.tls = provider->tls();
            shared.make_tls = false;
        }
        providers_.push_back(std::move(provider));
    }
    return true;
}

bool ReplicatedSlapd::load_ldif(const std::string &ldif, std::string &error) {
    SlapdLauncher &first = *providers_.at(0);
    const std::string seed = first.directory() + "/seed.ldif", copy = first.directory() + "/copy.ldif";
    // -w records the contextCSN, so the consumers know the copies are current.
    const bool loaded = write_file(seed, ldif, error) &&
                        run_child({"slapadd", "-q", "-w", "-S", "1", "-f", first.config_file(), "-l", seed},
                                  first.log_file(), error) &&
                        run_child({"slapcat", "-f", first.config_file(), "-l", copy}, first.log_file(), error) &&
                        copy_to_others(copy, error);
    ::unlink(seed.c_str());
    ::unlink(copy.c_str());
    return loaded;
}

// The others get the first's database as it is now, entryCSNs and all.
bool ReplicatedSlapd::copy_to_others(const std::string &copy, std::string &error) {
    for (std::size_t i = 1; i < providers_.size(); ++i) {
        SlapdLauncher &other = *providers_[i];
        std::error_code failure;
        for (const auto &file : std::filesystem::directory_iterator(other.directory() + "/data", failure))
            std::filesystem::remove(file.path(), failure);
        if (!run_child({"slapadd", "-q", "-w", "-f", other.config_file(), "-l", copy}, other.log_file(), error))
            return false;
    }
    return true;
}

bool ReplicatedSlapd::start(std::string &error) {
    for (const auto &provider : providers_)
        if (!provider->start(error)) return false;
    return true;
}

void ReplicatedSlapd::stop() {
    for (const auto &provider : providers_) provider->stop();
}

}  // namespace veldldap
