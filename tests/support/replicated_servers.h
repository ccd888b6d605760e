/*
 * A replicated pair (or more) of throw-away slapd providers for failover
 * tests: the suffix o=acme with ou=servers, the velmor schema, the root
 * account cn=admin,o=acme as the administrator of every provider, and
 * replication of everything between them (tools/common/replicated_slapd.h).
 * Failures to set up throw std::runtime_error.
 */
#ifndef VELDLDAP_TESTS_REPLICATED_SERVERS_H
#define VELDLDAP_TESTS_REPLICATED_SERVERS_H

#include <chrono>
#include <string>
#include <vector>

#include "replicated_slapd.h"

class ReplicatedServers {
public:
    // Seeds every provider with `initial_ldif` (after the base entries) and starts them.
    explicit ReplicatedServers(int providers = 2, const std::string &initial_ldif = "");

    veldldap::SlapdLauncher &provider(std::size_t index) { return servers_.provider(index); }
    std::size_t size() const { return servers_.size(); }

    static std::string suffix() { return "o=acme"; }
    static std::string servers_base() { return "ou=servers,o=acme"; }
    static std::string admin_dn() { return "cn=admin,o=acme"; }
    static std::string admin_password() { return "admin-secret"; }

    // The relative names of the server entries one provider holds, sorted;
    // empty while it does not answer.
    std::vector<std::string> server_names(std::size_t index);
    // Polls until every provider holds exactly `names` (sorted); false when
    // `limit` passes first.
    bool wait_until_all_hold(const std::vector<std::string> &names,
                             std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    veldldap::ReplicatedSlapd servers_;
};

#endif
