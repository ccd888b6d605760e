/*
 * The directory the benchmarks run against: a throw-away slapd on
 * 127.0.0.1, loaded once with three containers of server entries (100, 1,000
 * and 10,000 entries of eight single-valued attributes each), and the
 * attributes of the entry the add/delete benchmarks create.
 */
#ifndef VELDLDAP_BENCH_BENCH_DIRECTORY_H
#define VELDLDAP_BENCH_BENCH_DIRECTORY_H

#include <memory>
#include <string>
#include <vector>

namespace veldldap {
class SlapdLauncher;
}

class BenchDirectory {
public:
    static constexpr int kListSizes[] = {100, 1000, 10000};

    // Starts the server and loads the entries; ends the process on failure.
    BenchDirectory();
    ~BenchDirectory();

    std::string uri() const;  // ldap://127.0.0.1:PORT
    std::string admin_dn() const;
    std::string admin_password() const;
    // The container holding `entries` server entries.
    static std::string list_base(int entries);
    // The driver's initialisation string for a session on that container.
    std::string init_string(int entries) const;

    // The server name read by the single-read benchmarks (in the 100-list).
    static std::string read_name();
    // The entry the add/delete benchmarks create and remove again.
    static std::string new_server_name();
    // Its attributes as LDAP text, by OID, with the syntax the host gives them.
    struct Attribute {
        std::string oid;
        int syntax;
        std::string text;
    };
    static std::vector<Attribute> new_server_attributes();

private:
    std::unique_ptr<veldldap::SlapdLauncher> server_;
};

#endif
