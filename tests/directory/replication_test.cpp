// The replicated pair the failover tests stand on: OpenLDAP's multi-provider
// replication as the launcher configures it carries an add made on either
// provider to the other, and a provider that was stopped catches up when it
// starts again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "support/replicated_servers.h"

namespace {

void add_entry(ReplicatedServers &servers, std::size_t provider, const std::string &name) {
    const veldldap::ProgramResult added = veldldap::run_program(
        {"ldapadd", "-x", "-H", servers.provider(provider).url(), "-D", ReplicatedServers::admin_dn(), "-w",
         ReplicatedServers::admin_password()},
        {.input = "dn: velmorServername=" + name + "," + ReplicatedServers::servers_base() +
                  "\nobjectClass: velmorServer\nvelmorServername: " + name + "\n"});
    ASSERT_TRUE(added.ok()) << added.summary();
}

}  // namespace

TEST(ReplicatedPair, AddsReachEveryProviderAlsoAfterOneWasStopped) {
    ReplicatedServers servers(2, "dn: velmorServername=seed,ou=servers,o=acme\nobjectClass: velmorServer\n"
                                 "velmorServername: seed\n\n");
    EXPECT_EQ(servers.server_names(1), std::vector<std::string>{"seed"});
    add_entry(servers, 0, "first");
    add_entry(servers, 1, "second");
    EXPECT_TRUE(servers.wait_until_all_hold({"first", "second", "seed"}));

    servers.provider(0).stop();
    add_entry(servers, 1, "while-down");
    std::string error;
    ASSERT_TRUE(servers.provider(0).start(error)) << error;
    EXPECT_TRUE(servers.wait_until_all_hold({"first", "second", "seed", "while-down"}));
}
