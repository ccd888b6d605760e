#include "support/replicated_servers.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "child_process.h"

namespace {

veldldap::DirectoryLaunchOptions launch_options() {
    veldldap::DirectoryLaunchOptions options;
    options.suffix = ReplicatedServers::suffix();
    options.root_dn = ReplicatedServers::admin_dn();
    options.root_password = ReplicatedServers::admin_password();
    options.schema_files = {std::string(VELDLDAP_SOURCE_DIR) + "/schema/velmor.schema"};
    options.size_limit = 0;
    return options;
}

void require(bool done, const std::string &error) {
    if (!done) throw std::runtime_error(error);
}

}  // namespace

ReplicatedServers::ReplicatedServers(int providers, const std::string &initial_ldif)
    : servers_(launch_options(), providers) {
    std::string error;
    require(servers_.prepare(error), error);
    const std::string base = "dn: o=acme\nobjectClass: organization\no: acme\n\n"
                             "dn: ou=servers,o=acme\nobjectClass: organizationalUnit\nou: servers\n\n";
    require(servers_.load_ldif(base + initial_ldif, error), error);
    require(servers_.start(error), error);
}

std::vector<std::string> ReplicatedServers::server_names(std::size_t index) {
    const veldldap::ProgramResult listing = veldldap::run_program(
        {"ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-o", "nettimeout=2", "-l", "2", "-H",
         provider(index).url(), "-D", admin_dn(), "-w", admin_password(), "-s", "one", "-b", servers_base(),
         "(objectClass=*)", "velmorServername"});
    std::vector<std::string> names;
    if (!listing.ok()) return names;
    std::istringstream lines(listing.out);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("dn: velmorServername=")) names.push_back(line.substr(21, line.find(',') - 21));
    std::sort(names.begin(), names.end());
    return names;
}

bool ReplicatedServers::wait_until_all_hold(const std::vector<std::string> &names, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        bool all = true;
        for (std::size_t i = 0; all && i < size(); ++i) all = server_names(i) == names;
        if (all) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
