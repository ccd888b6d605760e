/*
 * Two or more throw-away slapd providers on 127.0.0.1 that replicate their
 * suffix to each other with OpenLDAP's own multi-provider replication:
 * each has its serverID, the syncprov overlay, and one syncrepl consumer
 * (refreshAndPersist, retried every second) per other provider, bound as
 * the root account.  They start from the same seed: it is loaded into the
 * first and copied with slapcat into the others, entryCSNs included, so
 * nothing needs replicating at the start.
 *
 * Their ports are picked before their configurations are written, because
 * each names the others.  Everything else (TLS, schema, stop, suspend) is
 * each provider's own launcher's; the destructors remove every directory.
 * veldir's replicated demo and the failover tests are built on it.
 */
#ifndef VELDLDAP_REPLICATED_SLAPD_H
#define VELDLDAP_REPLICATED_SLAPD_H

#include <memory>
#include <string>
#include <vector>

#include "slapd_launcher.h"

namespace veldldap {

class ReplicatedSlapd {
public:
    // `options` for every provider; its port and global settings are set here.
    ReplicatedSlapd(const DirectoryLaunchOptions &options, int providers);

    // Picks the ports and writes every configuration; false with `error`.
    bool prepare(std::string &error);
    // Loads the seed into every provider; they must be stopped.
    bool load_ldif(const std::string &ldif, std::string &error);
    // Starts every provider that is not running.
    bool start(std::string &error);
    void stop();

    std::size_t size() const { return providers_.size(); }
    SlapdLauncher &provider(std::size_t index) { return *providers_.at(index); }

private:
    bool copy_to_others(const std::string &copy, std::string &error);

    DirectoryLaunchOptions options_;
    std::vector<std::unique_ptr<SlapdLauncher>> providers_;
    std::size_t count_;
};

// The slapd.conf lines that make a provider replicate `suffix` from the
// providers at `peer_urls`, bound as `bind_dn`: global ones (the module and
// the serverID) and those of the database section.
std::string replication_global_settings(int server_id);
std::string replication_database_settings(const std::vector<std::string> &peer_urls, const std::string &suffix,
                                          const std::string &bind_dn, const std::string &password);

}  // namespace veldldap

#endif
