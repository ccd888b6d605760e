/*
 * The floor the driver is measured against: the same directory operations
 * done straight with the OpenLDAP client library, with nothing the driver
 * adds (no log, no host records).  A search asks for the same sixteen
 * attribute OIDs, walks every attribute and value of every entry and copies
 * the name and each value, as any client handing data on must.
 */
#ifndef VELDLDAP_BENCH_RAW_CLIENT_H
#define VELDLDAP_BENCH_RAW_CLIENT_H

#include <string>
#include <utility>
#include <vector>

struct ldap;  // the client library's session

class RawClient {
public:
    enum class Scope { base = 0, one_level = 1 };

    // Binds (simple) at once; a failure ends the benchmark run.
    RawClient(const std::string &uri, const std::string &bind_dn, const std::string &password);
    ~RawClient();
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    // Searches, copies everything out and releases it; the number of entries.
    std::size_t search(const std::string &base, Scope scope, const std::string &filter);
    void release_copies();

    using Attribute = std::pair<std::string, std::vector<std::string>>;
    bool add(const std::string &dn, const std::vector<Attribute> &attributes);
    bool remove(const std::string &dn);

private:
    ldap *ld_ = nullptr;
    std::vector<char *> copies_;  // kept across searches: no growth in the loop
};

#endif
