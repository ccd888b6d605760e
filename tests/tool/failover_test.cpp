// veldir against a replicated pair of slapd providers: which failures move
// a run to the next server listed and which do not, operations repeated on
// the next server when the connection fails under them (a lost answer
// settled there), an import that goes on across a stopped server without
// losing or doubling an entry, and check's view of every server.
#include <algorithm>
#include <functional>
#include <regex>
#include <thread>

#include "support/fault_relay.h"
#include "support/replicated_servers.h"
#include "support/slapd_server.h"
#include "tool/tool_runner.h"

namespace {

const std::string kSeed = "dn: velmorServername=alpha,ou=servers,o=acme\nobjectClass: velmorServer\n"
                          "velmorServername: alpha\nvelmorVersion: 3\n\n";

class VeldirFailover : public ::testing::Test {
protected:
    ReplicatedServers servers{2, kSeed};

    // The string of a provider (or of anything at `url`), with a password unless it is empty.
    static std::string init_at(const std::string &url, const std::string &password = "admin-secret") {
        return url + "/" + ReplicatedServers::servers_base() + "????bindname=" + ReplicatedServers::admin_dn() +
               (password.empty() ? "" : "?" + password);
    }
    std::string init(std::size_t provider) { return init_at(servers.provider(provider).url()); }

    // veldir with the strings in a file, one server a line, as a careful user gives them.
    static ToolResult veldir(const std::vector<std::string> &inits, const std::vector<std::string> &arguments,
                             const std::string &timelimit = "5") {
        std::string lines = "# the replicas, in the order they are tried\n";
        for (const std::string &init : inits) lines += init + "\n";
        std::vector<std::string> words{"--init-file", write_private_file("replicas.init", lines), "--timelimit", timelimit};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return run_veldir(words);
    }
};

std::string dead_url() { return "ldap://127.0.0.1:" + std::to_string(veldldap::free_loopback_ports(1).front()); }

TEST_F(VeldirFailover, ConnectionFailuresMoveToTheNextServerRefusalsDoNot) {
    write_private_file("password", "admin-secret\n");
    write_private_file("libdsv.cfg", "[DIRECTORY]\ninit = " + init_at(servers.provider(0).url(), "") + "\ninit = " +
                                         init_at(servers.provider(1).url(), "") + "\n");
    const std::string first = servers.provider(0).url(), second = servers.provider(1).url();
    const struct {
        std::string what;
        bool first_stopped;
        std::vector<std::string> inits, arguments;
        int exit_code;
        std::string served_by;              // "": no server served
        std::vector<std::string> failures;  // LDAP detail of each server listed in the failure, or of each passed over
    } cases[] = {
        {"credentials refused on the first", false, {init_at(first, "wrong"), init(1)}, {"--json", "search"}, 3, "",
         {"LDAP 49 invalidCredentials"}},
        {"first stopped, strings from a file", true, {init(0), init(1)}, {"--json", "read", "alpha"}, 0, second,
         {"LDAP -1 LDAP_SERVER_DOWN"}},
        {"first stopped, strings in libdsv.cfg, one password for both", true, {},
         {"--config", "libdsv.cfg", "--password-file", "password", "--json", "search"}, 0, second,
         {"LDAP -1 LDAP_SERVER_DOWN"}},
        {"every server down", true, {init(0), init_at(dead_url())}, {"--json", "search"}, 3, "",
         {"LDAP -1 LDAP_SERVER_DOWN", "LDAP -1 LDAP_SERVER_DOWN"}},
    };
    for (const auto &c : cases) {
        if (c.first_stopped) servers.provider(0).stop();
        const ToolResult result = c.inits.empty() ? run_veldir(c.arguments) : veldir(c.inits, c.arguments);
        EXPECT_EQ(result.exit_code, c.exit_code) << c.what << "\n" << result.out << result.err;
        const JsonValue report = json_of(result);
        if (!c.served_by.empty()) {
            ASSERT_NE(report.member("server"), nullptr) << c.what << "\n" << result.out;
            const JsonValue &server = *report.member("server");
            EXPECT_EQ(server.member("address")->text, c.served_by) << c.what;
            EXPECT_THAT(result.err, HasSubstr("veldir: served by server 2 of 2, " + c.served_by));
            EXPECT_THAT(result.out, HasSubstr("\"alpha\"")) << c.what;
        }
        const JsonValue *listed = c.served_by.empty() ? report.member("error")->member("servers")
                                                      : report.member("server")->member("passed_over");
        ASSERT_NE(listed, nullptr) << c.what << "\n" << result.out;
        ASSERT_EQ(listed->items.size(), c.failures.size()) << c.what << "\n" << result.out;
        for (std::size_t i = 0; i < c.failures.size(); ++i) {
            EXPECT_EQ(listed->items[i].member("number")->text, std::to_string(i + 1)) << c.what;
            EXPECT_TRUE(listed->items[i].member("detail")->text.starts_with(c.failures[i])) << c.what << "\n" << result.out;
            // Each one in words too.
            EXPECT_THAT(result.err, HasSubstr("server " + std::to_string(i + 1) + " of 2, " +
                                              listed->items[i].member("address")->text)) << c.what;
        }
    }

    // The deadline bounds the run across moves: the first server (stopped)
    // refuses at once, the second never answers.  Without the move the run
    // would end at once with exit code 3.
    servers.provider(1).suspend();
    const ToolResult late = veldir({init(0), init(1)}, {"--deadline", "1", "search"}, "0");
    servers.provider(1).resume();
    EXPECT_TRUE(exits_with(late, 5, "the deadline passed"));
}

// The first request after the bind meets a fault on the first server: the
// server stops answering (the time limit, 1 s, ends the wait), or it does
// the work and the answer is lost.  The operation is repeated on the
// second; an add that finds the entry there, replicated, counts as done
// only when the entry holds what was given.
TEST_F(VeldirFailover, OperationMeetingAFaultIsRepeatedOnTheNextServer) {
    const struct {
        std::string what;
        FaultRelay::Fault fault;
        std::vector<std::string> arguments;
        int exit_code;
        std::string out, err, passed_over_step;
    } cases[] = {
        {"answer to an add lost", FaultRelay::Fault::drop_answer, {"add", "fresh", "velmorVersion=7"}, 0,
         "\"name\": \"fresh\"", "the answer of the server that failed was lost", "add fresh"},
        {"answer to an add of an entry there already lost", FaultRelay::Fault::drop_answer,
         {"add", "alpha", "velmorVersion=9"}, 1, "", "LDAP 68 entryAlreadyExists", "add alpha"},
        {"server suspended during a search", FaultRelay::Fault::suspend_server, {"search"}, 0,
         "\"name\": \"alpha\"", "search failed: DLDAP_ERR_TIMEOUT", "search"},
    };
    std::vector<std::string> names{"alpha"};  // what both servers hold once the case has run
    for (const auto &c : cases) {
        if (c.arguments.front() == "add" && c.exit_code == 0) names.push_back(c.arguments[1]);
        // Suspending returns once the server has stopped; a lost answer is
        // held until the work done has replicated to the second server.
        const auto act = c.fault == FaultRelay::Fault::suspend_server
                             ? std::function<void()>([&] { servers.provider(0).suspend(); })
                             : std::function<void()>([&] { servers.wait_until_all_hold(names); });
        std::vector<std::string> arguments{"--json"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ToolResult result;
        bool acted = false;
        {
            const FaultRelay relay(servers.provider(0).port(), c.fault, act);
            result = veldir({init_at(relay.url()), init(1)}, arguments, "1");
            acted = relay.acted();
        }  // The relay's thread, which may have suspended the server, has ended.
        servers.provider(0).resume();
        EXPECT_TRUE(acted) << c.what << "\n" << result.out << result.err;
        EXPECT_EQ(result.exit_code, c.exit_code) << c.what << "\n" << result.out << result.err;
        const JsonValue report = json_of(result);
        ASSERT_NE(report.member("server"), nullptr) << c.what << "\n" << result.out;
        const JsonValue &server = *report.member("server");
        EXPECT_EQ(server.member("number")->text, "2") << c.what;
        EXPECT_EQ(server.member("passed_over")->items.at(0).member("step")->text, c.passed_over_step) << c.what;
        EXPECT_THAT(result.err, HasSubstr(c.err)) << c.what;
        EXPECT_THAT(result.out, HasSubstr(c.out)) << c.what;
        EXPECT_TRUE(servers.wait_until_all_hold(names)) << c.what;
    }
    // alpha kept the values it had.
    EXPECT_THAT(veldir({init(1)}, {"--ldif", "read", "alpha"}).out, HasSubstr("velmorVersion: 3\n"));
}

TEST_F(VeldirFailover, ImportGoesOnAcrossAStoppedServerWithEveryEntryExactlyOnce) {
    constexpr int kEntries = 5000;
    std::string ldif;
    std::vector<std::string> names{"alpha"};
    for (int i = 0; i < kEntries; ++i) {
        const std::string name = "bulk" + std::to_string(i);
        ldif += "dn: velmorServername=" + name + ",ou=servers,o=acme\nvelmorVersion: " + std::to_string(i) + "\n\n";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    write_file("bulk.ldif", ldif);

    ToolResult result;
    std::thread import([&] { result = veldir({init(0), init(1)}, {"--jobs", "2", "--json", "import", "bulk.ldif"}); });
    // Stopped once the import is well under way on the first server.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (servers.server_names(0).size() < 200 && std::chrono::steady_clock::now() < until) {
    }
    servers.provider(0).stop();
    import.join();

    EXPECT_EQ(result.exit_code, 0) << result.err;
    const JsonValue report = json_of(result);
    EXPECT_EQ(report.member("added")->text, std::to_string(kEntries)) << result.out;
    for (const char *none : {"skipped", "replaced", "refused", "not_tried", "unknown"})
        EXPECT_EQ(report.member(none)->text, "0") << none;
    const JsonValue &used = *report.member("servers");
    ASSERT_EQ(used.member("served")->items.size(), 2u) << result.out;
    EXPECT_EQ(used.member("served")->items[1].member("number")->text, "2");
    ASSERT_FALSE(used.member("moves")->items.empty());
    EXPECT_EQ(used.member("moves")->items[0].member("to")->text, "2");
    EXPECT_THAT(result.err, HasSubstr("failed, so the session moved on to server 2"));

    std::string error;
    ASSERT_TRUE(servers.provider(0).start(error)) << error;
    EXPECT_TRUE(servers.wait_until_all_hold(names, std::chrono::seconds(60)));
}

TEST_F(VeldirFailover, CheckShowsEveryServerAndWhetherTheyHoldTheSameEntries) {
    // A server that is no replica: other values for alpha, and entries of its own.
    SlapdServer other({.tls = false, .size_limit = 0,
                       .initial_ldif = DirectoryServer::server_entry("alpha", "velmorVersion: 4\n") +
                                       DirectoryServer::server_entry("beta")});
    const ToolResult alike = veldir({init(0), init(1)}, {"check"});
    EXPECT_EQ(alike.exit_code, 0) << alike.out << alike.err;
    EXPECT_THAT(alike.out, HasSubstr("The 2 servers that answered hold the same entries"));

    servers.provider(1).stop();
    const ToolResult differing = veldir({init(0), init(1), init_at(other.url())}, {"check"});
    EXPECT_EQ(differing.exit_code, 3) << differing.out;
    for (const std::string &row : {"1 +" + servers.provider(0).url() + " +yes +ok +1 +yes",
                                   "2 +" + servers.provider(1).url() + " +no +failed +- +-",
                                   "3 +" + other.url() + " +yes +ok +2 +no"})
        EXPECT_TRUE(std::regex_search(differing.out, std::regex(row))) << row << "\n" << differing.out;
    EXPECT_THAT(differing.out, HasSubstr("  alpha: other values on server 3\n  beta: missing on server 1\n"));

    const JsonValue report = json_of(veldir({init(0), init(1), init_at(other.url())}, {"--json", "check"}));
    EXPECT_FALSE(report.member("same_entries")->boolean);
    const std::vector<JsonValue> &rows = report.member("servers")->items;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[1].member("reachable")->boolean);
    EXPECT_EQ(rows[1].member("error")->member("oserr")->text, "-1");
    EXPECT_EQ(rows[2].member("entries")->text, "2");
    EXPECT_EQ(report.member("differences")->items.at(1).member("missing_on")->items.at(0).text, "1");
}

}  // namespace
