// demo --replicated: two throw-away slapd providers that replicate each
// other with OpenLDAP's multi-provider replication (replicated_slapd.h),
// and veldir moving from one to the other.  An entry added on the first is
// read from the second once replication brought it there; then the first
// is stopped, and a read and an add through the list of both servers are
// served by the second; the first starts again and catches up, until both
// hold the same entries.  Waits for replication poll with a bound.  Both
// servers are stopped and their directories removed however the demo ends.
#include <chrono>
#include <thread>

#include "demo_run.h"
#include "exit_codes.h"
#include "init_string_mask.h"
#include "output.h"
#include "replicated_slapd.h"
#include "server_comparison.h"

namespace {

constexpr const char *kAddedOnFirst = "demo-new";
constexpr const char *kAddedOnSecond = "demo-failover";
constexpr auto kReplicationBound = std::chrono::seconds(20);
constexpr auto kPollInterval = std::chrono::milliseconds(50);

using Clock = std::chrono::steady_clock;

std::string milliseconds_since(Clock::time_point start) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()) + " ms";
}

// "served by server 2 of 2", and with `why`, what made the run leave the servers before it.
std::string served_note(const Connection &connection, bool why = false) {
    const ServedBy served = connection.served_by();
    std::string note = "served by server " + std::to_string(served.number) + " of " + std::to_string(served.listed);
    for (const ServerFailure &passed : served.passed_over) {
        if (!why) break;
        const Explanation explanation = explain(passed.failure);
        note += "; server " + std::to_string(passed.number) + ": " +
                (explanation.detail.empty() ? explanation.meaning : explanation.detail);
    }
    return note;
}

class ReplicatedDemo : public DemoRun {
public:
    ReplicatedDemo(const Invocation &invocation, DemoReport &report, std::ostream &err)
        : DemoRun(invocation, report, err) {}

    int run() {
        report_.starting("slapd", "two throw-away slapd providers that replicate each other (multi-provider "
                                  "replication, StartTLS with their own CA)");
        Outcome failure;
        bool started = false;
        {
            veldldap::DirectoryLaunchOptions options = demo::launch_options(veldldap::DirectoryFlavour::slapd);
            const bool schema_found = !options.schema_files.empty();
            veldldap::ReplicatedSlapd pair(std::move(options), 2);
            failure = schema_found ? launch(pair)
                                   : tool_failure("demo", "the velmor schema (share/veldldap/schema) was not found",
                                                  "install veldldap completely, or run veldir from its build tree",
                                                  kExitConfiguration);
            if (!failure) {
                started = true;
                failure = lifecycle(pair);
                for (Connection *connection : {&both_, &first_, &second_}) connection->disconnect(err_);
            }
            signals_.forget();
            // Both stopped and removed here, before the report says so.
        }
        return finish(std::move(failure), started);
    }

private:
    Outcome launch(veldldap::ReplicatedSlapd &pair) {
        std::string error;
        // A signal while the servers are made stops the making; their directories go with `pair`.
        const bool ready = pair.prepare(error) && DemoSignals::arrived() == 0 &&
                           pair.load_ldif(demo::kSampleEntries, error) && DemoSignals::arrived() == 0 &&
                           pair.start(error);
        if (ready) watch_running(pair);
        if (DemoSignals::arrived() != 0) return DemoSignals::interrupted();
        if (!ready)
            return tool_failure("start slapd", error, "the demo needs slapd (with its syncprov module), slapadd and openssl",
                                kExitConfiguration);
        std::vector<DemoServer> servers;
        for (std::size_t i = 0; i < pair.size(); ++i)
            servers.push_back({.url = pair.provider(i).url(),
                               .suffix = demo::kSuffix,
                               .directory = pair.provider(i).directory(),
                               .init = masked_init_string(demo::init_string(pair.provider(i).url()))});
        report_.started(servers, pair.provider(0).tls()->ca_certificate);
        return std::nullopt;
    }

    void watch_running(veldldap::ReplicatedSlapd &pair) {
        std::vector<pid_t> running;
        for (std::size_t i = 0; i < pair.size(); ++i)
            if (pair.provider(i).running()) running.push_back(pair.provider(i).pid());
        signals_.watch(running);
    }

    Outcome lifecycle(veldldap::ReplicatedSlapd &pair) {
        const std::string ca = pair.provider(0).tls()->ca_certificate;
        const std::string first_url = pair.provider(0).url(), second_url = pair.provider(1).url();
        both_.settings = settings_for({first_url, second_url}, ca);
        first_.settings = settings_for({first_url}, ca);
        second_.settings = settings_for({second_url}, ca);

        if (Outcome failure = step("load driver", [&] { return load_driver(both_.settings.driver, both_.driver); },
                                   both_.settings.driver))
            return failure;
        first_.driver = second_.driver = both_.driver;
        if (Outcome failure = step("bind", [&] { return connect_from(both_, 0); },
                                   [&] { return "StartTLS, both servers listed: " + served_note(both_); }))
            return failure;
        if (Outcome failure = add(kAddedOnFirst, "inventory", "on server 1")) return failure;
        if (Outcome failure = read_on_second()) return failure;
        if (Outcome failure = step("stop 1", [&] { return stop_first(pair); }, "server 1 refuses connections now"))
            return failure;
        if (Outcome failure = read_through_both()) return failure;
        if (Outcome failure = add(kAddedOnSecond, "orders", "")) return failure;
        if (Outcome failure = step("start 1", [&] { return start_first(pair); }, "server 1 catches up by replication"))
            return failure;
        if (Outcome failure = compare()) return failure;
        if (Outcome failure = step("unbind", [&] { return unbind_all(); }, "")) return failure;
        return step("close", [&] { return close_all(); }, "");
    }

    Outcome add(const char *name, const char *service, const std::string &where) {
        ObjectBuilder object;
        demo::fill_object(object, name, service);
        const EntryName entry = demo::entry_name(name);
        return step(
            "add", [&] { return run_with_failover(both_, [&](Session &session, bool) { return session.add(entry, object); }); },
            [&] { return std::string(name) + (where.empty() ? ", " + served_note(both_) : " " + where); });
    }

    // Polls the second server until replication has brought the entry added on the first.
    Outcome read_on_second() {
        std::vector<Entry> entries;
        const Clock::time_point start = Clock::now();
        return step(
            "read on 2",
            [&]() -> Outcome {
                if (Outcome failure = connect_from(second_, 0)) return failure;
                return poll("the entry added on server 1 did not reach server 2", [&]() -> std::optional<Outcome> {
                    Outcome failure = second_.session->read(demo::entry_name(kAddedOnFirst), entries);
                    if (failure && no_such_entry(*failure)) return std::nullopt;
                    return std::make_optional<Outcome>(failure);
                });
            },
            [&] { return std::string(kAddedOnFirst) + " replicated to server 2 within " + milliseconds_since(start); },
            Found{&entries, false});
    }

    // The session on server 1 is gone with its server: the read moves to server 2.
    Outcome read_through_both() {
        std::vector<Entry> entries;
        return step(
            "read",
            [&] {
                return run_with_failover(both_, [&](Session &session, bool) {
                    return session.read(demo::entry_name(kAddedOnFirst), entries);
                });
            },
            [&] { return std::string(kAddedOnFirst) + ", " + served_note(both_, true); }, Found{&entries, false});
    }

    Outcome stop_first(veldldap::ReplicatedSlapd &pair) {
        // Forgotten before it is reaped: its pid may then be another process's.
        signals_.watch({pair.provider(1).pid()});
        pair.provider(0).stop();
        return std::nullopt;
    }

    Outcome start_first(veldldap::ReplicatedSlapd &pair) {
        std::string error;
        const bool started = pair.provider(0).start(error);
        watch_running(pair);
        if (!started) return tool_failure("start 1", error, "", kExitConfiguration);
        return std::nullopt;
    }

    // Polls both servers until they hold the same entries.
    Outcome compare() {
        std::vector<Entry> entries;
        std::size_t count = 0;
        const Clock::time_point start = Clock::now();
        return step(
            "compare",
            [&]() -> Outcome {
                if (Outcome failure = connect_from(first_, 0)) return failure;
                return poll("the servers did not come to hold the same entries", [&]() -> std::optional<Outcome> {
                    std::vector<Entry> on_second;
                    if (Outcome failure = first_.session->search(entries)) return std::make_optional<Outcome>(failure);
                    if (Outcome failure = second_.session->search(on_second))
                        return std::make_optional<Outcome>(failure);
                    ServerComparison comparison;
                    comparison.add(1, entries);
                    comparison.add(2, on_second);
                    count = entries.size();
                    if (!comparison.same()) return std::nullopt;
                    return std::make_optional<Outcome>();
                });
            },
            [&] {
                return "servers 1 and 2 hold the same " + std::to_string(count) + " entries (" + kComparedWhat +
                       ") after " + milliseconds_since(start);
            },
            Found{&entries, true});
    }

    // Asks `attempt` until it gives an outcome (nullopt: not yet), at most kReplicationBound.
    template <typename Attempt>
    static Outcome poll(const std::string &what, Attempt attempt) {
        for (const Clock::time_point until = Clock::now() + kReplicationBound;;) {
            if (std::optional<Outcome> outcome = attempt()) return *outcome;
            if (DemoSignals::arrived() != 0) return DemoSignals::interrupted();
            if (Clock::now() > until)
                return tool_failure("demo", what + " within " + std::to_string(kReplicationBound.count()) + " s",
                                    "the servers' logs (slapd.log in their directories) tell why", kExitInternal);
            std::this_thread::sleep_for(kPollInterval);
        }
    }

    Outcome unbind_all() {
        for (Connection *connection : {&both_, &first_, &second_})
            if (connection->session)
                if (Outcome failure = connection->session->unbind()) return failure;
        return std::nullopt;
    }

    Outcome close_all() {
        for (Connection *connection : {&both_, &first_, &second_})
            if (connection->session)
                if (Outcome failure = connection->session->close()) return failure;
        return std::nullopt;
    }

    Connection both_;    // the run: both servers, in this order
    Connection first_;   // server 1 alone, to compare
    Connection second_;  // server 2 alone, to watch replication
};

}  // namespace

int run_replicated_demo(const Invocation &invocation, DemoReport &report, std::ostream &err) {
    return ReplicatedDemo(invocation, report, err).run();
}
