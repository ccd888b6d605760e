// check: the connection diagnosed step by step (load, open, bind, search,
// unbind, close) with the time of each, and the failing step explained with
// what veldir found out itself and the driver's log lines of that step.
// With the servers of a replicated directory, every one of them in turn:
// one row each (reachable, bind, entries, alike), and whether they hold the
// same entries.
#include <ldap.h>

#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <string_view>

#include "commands.h"
#include "connection.h"
#include "connection_probe.h"
#include "driver_log.h"
#include "exit_codes.h"
#include "init_string_check.h"
#include "init_string_mask.h"
#include "json_writer.h"
#include "output.h"
#include "server_comparison.h"
#include "step_timer.h"
#include "table.h"
#include "terminal_text.h"
#include "veldldap/init_string.h"

namespace {

struct StepRecord {
    std::string name;
    bool ok = false;
    double milliseconds = 0;
    std::string note;
};

std::string format_milliseconds(double milliseconds) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(milliseconds < 10 ? 1 : 0) << milliseconds << " ms";
    return text.str();
}

// How the bind will protect the connection, read as the driver reads the
// string: "starttls" among the options, or an ldaps URL, as the client
// library recognises them.
std::string transport_of(const std::string &init) {
    namespace grammar = veldldap::init_string;
    const std::string_view copy = grammar::working_copy(init);
    const auto is_url = [](std::string_view token) { return ldap_is_ldap_url(std::string(token).c_str()) != 0; };
    grammar::Scanner scanner(copy, is_url);
    bool starttls = false;
    while (!scanner.at_end()) {
        const grammar::Token token = scanner.next();
        if (token.kind == grammar::TokenKind::url && ldap_is_ldaps_url(std::string(token.span.of(copy)).c_str()))
            return "TLS (ldaps)";
        starttls |= token.kind == grammar::TokenKind::starttls;
    }
    return starttls ? "StartTLS" : "no TLS";
}

// What check found on one server.
struct ServerCheck {
    std::size_t number = 1;  // from 1
    std::string init;        // as given, for masking what is shown of it
    std::string address;
    std::string unreachable;  // why no TCP connection can be made; "" when one can
    std::vector<StepRecord> steps;
    Outcome failure;
    bool bound = false;
    std::optional<std::size_t> entries;  // when the search answered
};

class Checker {
public:
    explicit Checker(const Invocation &invocation) : invocation_(invocation) {}

    // The shared steps, then every server's; the first failure, if any.
    Outcome run() {
        if (Outcome failure = step(shared_steps_, "settings",
                                   [&] { return resolve_settings(invocation_, connection_.settings); }))
            return failure;
        if (Outcome failure = step(shared_steps_, "load driver",
                                   [&] { return load_driver(connection_.settings.driver, connection_.driver); }))
            return failure;
        Outcome first_failure;
        for (std::size_t i = 0; i < connection_.settings.inits.size(); ++i) {
            connection_.server = i;
            ServerCheck &server = servers_.emplace_back(check_server());
            if (server.failure && !first_failure) first_failure = server.failure;
        }
        return first_failure;
    }

    bool several() const { return servers_.size() > 1; }

    // Whether the servers that answered hold the same entries.
    bool same_entries() const { return comparison_.same(); }

    void print_header(std::ostream &out) const {
        for (const std::string &warning : connection_.settings.warnings) out << "warning: " << warning << '\n';
        if (!connection_.settings.warnings.empty()) out << '\n';
        Table table;
        table.add_row({"driver", connection_.settings.driver});
        const std::vector<std::string> &inits = connection_.settings.inits;
        for (std::size_t i = 0; i < inits.size(); ++i)
            table.add_row({inits.size() > 1 ? "init " + std::to_string(i + 1) : "init", masked_init_string(inits[i])});
        table.add_row({"CA file", connection_.settings.ca.empty() ? "(none)" : connection_.settings.ca});
        const int limit = connection_.settings.timelimit.value_or(0);
        table.add_row({"time limit", limit == 0 ? "none" : std::to_string(limit) + " s"});
        table.print(out);
        out << '\n';
    }

    // One server: every step timed, as before there were several.
    void print_steps(std::ostream &out) const {
        Table table({"STEP", "RESULT", "TIME", "NOTE"});
        std::vector<StepRecord> steps = shared_steps_;
        if (!servers_.empty()) steps.insert(steps.end(), servers_.front().steps.begin(), servers_.front().steps.end());
        for (const StepRecord &record : steps)
            table.add_row({record.name, record.ok ? "ok" : "FAILED", format_milliseconds(record.milliseconds), record.note});
        table.print(out);
    }

    // Several servers: one row each, then what failed and how they compare.
    void print_servers(std::ostream &out) const {
        Table table({"SERVER", "ADDRESS", "REACHABLE", "BIND", "ENTRIES", "SAME", "TIME"});
        for (const ServerCheck &server : servers_) {
            double milliseconds = 0;
            for (const StepRecord &record : server.steps) milliseconds += record.milliseconds;
            table.add_row({std::to_string(server.number), server.address, server.unreachable.empty() ? "yes" : "no",
                           bind_word(server), server.entries ? std::to_string(*server.entries) : "-",
                           same_word(server), format_milliseconds(milliseconds)});
        }
        table.print(out);
        for (const ServerCheck &server : servers_) {
            if (!server.failure) continue;
            out << "\nserver " << server.number << ", " << server.address << ":\n";
            for (const std::string &line : failure_lines(*server.failure)) out << "  " << line << '\n';
        }
        print_comparison(out);
    }

    void print_json(std::ostream &out, const Outcome &failure) const {
        JsonWriter json(out);
        json.begin_object();
        json.key("ok").value(!failure && same_entries());
        if (!several() && !servers_.empty()) json.key("init").value(masked_init_string(servers_.front().init));
        json.key("warnings").begin_array();
        for (const std::string &warning : connection_.settings.warnings) json.value(warning);
        json.end_array();
        std::vector<StepRecord> steps = shared_steps_;
        if (!several() && !servers_.empty())
            steps.insert(steps.end(), servers_.front().steps.begin(), servers_.front().steps.end());
        write_steps(json, steps);
        if (failure && (servers_.empty() || !several())) write_error(json, *failure, servers_.empty() ? "" : servers_.front().init);
        json.key("servers").begin_array();
        for (const ServerCheck &server : servers_) write_server(json, server);
        json.end_array();
        if (several()) write_comparison(json);
        json.end_object();
    }

    void disconnect(std::ostream &err) { connection_.disconnect(err); }

    // The driver's log lines of a failure of the shared steps or of the one server.
    std::vector<std::string> driver_lines(const Failure &failure) const {
        const std::string init = servers_.empty() ? std::string() : servers_.front().init;
        return driver_log::lines_between(failure.log_begin, failure.log_end, init);
    }

private:
    ServerCheck check_server() {
        ServerCheck server;
        server.number = connection_.server + 1;
        server.init = connection_.init();
        server.address = server_label(server.init);
        server.unreachable = unreachable_reason(server.init);
        server.failure = run_server_steps(server);
        if (server.failure) diagnose(connection_, *server.failure);
        connection_.session.reset();
        return server;
    }

    // open, base, bind, search, unbind and close on connection_.server.
    Outcome run_server_steps(ServerCheck &server) {
        auto &steps = server.steps;
        if (Outcome failure = step(steps, "open", [&] { return open_session(connection_); })) return failure;
        Session &session = *connection_.session;
        steps.back().note = "interface version " + std::to_string(session.interface_version());
        if (invocation_.base)
            if (Outcome failure = step(steps, "set base", [&] { return session.set_search_base(*invocation_.base); }))
                return failure;
        std::string bind_dn;
        session.get_property(DCL_PROP_BINDDN, bind_dn);
        Outcome failure = step(steps, "bind", [&] { return bind_session(connection_); });
        steps.back().note = transport_of(server.init) + ", " + bind_identity(server.init, bind_dn);
        if (failure) {
            step(steps, "unbind", [&] { return session.unbind(); });
            step(steps, "close", [&] { return session.close(); });
            return failure;
        }
        server.bound = true;
        std::vector<Entry> entries;
        failure = step(steps, "search", [&] { return session.search(entries); });
        if (!failure) {
            steps.back().note = std::to_string(entries.size()) + " server entries below the base";
            server.entries = entries.size();
            comparison_.add(server.number, entries);
        }
        // The connection is released even when the search failed.
        Outcome unbind = step(steps, "unbind", [&] { return session.unbind(); });
        Outcome close = step(steps, "close", [&] { return session.close(); });
        if (failure) return failure;
        return unbind ? unbind : close;
    }

    static std::string bind_word(const ServerCheck &server) {
        if (server.bound) return "ok";
        for (const StepRecord &record : server.steps)
            if (record.name == "bind") return "failed";
        return "-";
    }

    std::string same_word(const ServerCheck &server) const {
        if (!server.entries) return "-";
        return comparison_.same_as_first(server.number) ? "yes" : "no";
    }

    void print_comparison(std::ostream &out) const {
        constexpr std::size_t kShown = 10;
        std::size_t answered = 0;
        for (const ServerCheck &server : servers_) answered += server.entries.has_value();
        out << '\n';
        if (answered < 2) {
            out << "Fewer than two servers answered: nothing to compare.\n";
            return;
        }
        if (same_entries()) {
            out << "The " << answered << " servers that answered hold the same entries (" << kComparedWhat << ").\n";
            return;
        }
        out << "The servers hold different entries (" << kComparedWhat
            << "); replication may be behind, or broken:\n";
        for (const EntryDifference &difference : comparison_.differences(kShown))
            out << "  " << escape_controls(difference.name) << ": " << difference_words(difference) << '\n';
        if (const std::size_t count = comparison_.differences_count(); count > kShown)
            out << "  ... and " << count - kShown << " more (--json lists the first 1000)\n";
    }

    static std::string server_list(const std::vector<std::size_t> &numbers) {
        std::string text = numbers.size() == 1 ? "server " : "servers ";
        for (std::size_t i = 0; i < numbers.size(); ++i) text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
        return text;
    }

    static std::string difference_words(const EntryDifference &difference) {
        std::string words;
        if (!difference.missing.empty()) words = "missing on " + server_list(difference.missing);
        if (!difference.differs.empty())
            words += (words.empty() ? "" : "; ") + std::string("other values on ") + server_list(difference.differs);
        return words;
    }

    static void write_steps(JsonWriter &json, const std::vector<StepRecord> &steps) {
        json.key("steps").begin_array();
        for (const StepRecord &record : steps) {
            json.begin_object();
            json.key("step").value(record.name);
            json.key("ok").value(record.ok);
            json.key("milliseconds").value(record.milliseconds, 3);
            json.key("note").value(record.note);
            json.end_object();
        }
        json.end_array();
    }

    static void write_error(JsonWriter &json, const Failure &failure, const std::string &init) {
        json.key("error").begin_object();
        json.key("step").value(failure.step);
        write_failure_members(json, failure);
        json.key("driver_log").begin_array();
        for (const std::string &line : driver_log::lines_between(failure.log_begin, failure.log_end, init))
            json.value(line);
        json.end_array();
        json.end_object();
    }

    void write_server(JsonWriter &json, const ServerCheck &server) const {
        json.begin_object();
        json.key("number").value(static_cast<std::int64_t>(server.number));
        json.key("address").value(server.address);
        json.key("init").value(masked_init_string(server.init));
        json.key("reachable").value(server.unreachable.empty());
        if (!server.unreachable.empty()) json.key("unreachable").value(server.unreachable);
        json.key("bind").value(server.bound);
        json.key("entries");
        if (server.entries) json.value(static_cast<std::int64_t>(*server.entries));
        else json.null();
        json.key("same");
        if (server.entries && several()) json.value(comparison_.same_as_first(server.number));
        else json.null();
        if (several()) {
            write_steps(json, server.steps);
            if (server.failure) write_error(json, *server.failure, server.init);
        }
        json.end_object();
    }

    void write_comparison(JsonWriter &json) const {
        json.key("compared").value(kComparedWhat);
        json.key("same_entries").value(same_entries());
        json.key("differences").begin_array();
        for (const EntryDifference &difference : comparison_.differences(1000)) {
            json.begin_object().key("name").value(difference.name);
            json.key("missing_on").begin_array();
            for (std::size_t number : difference.missing) json.value(static_cast<std::int64_t>(number));
            json.end_array().key("other_values_on").begin_array();
            for (std::size_t number : difference.differs) json.value(static_cast<std::int64_t>(number));
            json.end_array().end_object();
        }
        json.end_array();
    }

    // Without a password the driver drops the bind DN and binds anonymously.
    static std::string bind_identity(const std::string &init, const std::string &bind_dn) {
        if (!bind_dn_of(init).empty() && !has_password(init))
            return "anonymous (bind DN " + bind_dn_of(init) + " without a password)";
        return bind_dn.empty() ? "anonymous" : "as " + bind_dn;
    }

    template <typename Action>
    static Outcome step(std::vector<StepRecord> &steps, const char *name, Action action) {
        const veldldap::StepTimer timer;
        Outcome failure = action();
        steps.push_back({name, !failure, timer.milliseconds(), ""});
        return failure;
    }

    const Invocation &invocation_;
    Connection connection_;
    std::vector<StepRecord> shared_steps_;
    std::vector<ServerCheck> servers_;
    ServerComparison comparison_;
};

// One server: the steps as a table and the failing one explained with the
// driver's log lines of it.
void print_one_server(std::ostream &out, const Checker &checker, const Outcome &failure) {
    checker.print_steps(out);
    if (!failure) {
        out << "\nThe connection works.\n";
        return;
    }
    out << '\n';
    for (const std::string &line : failure_lines(*failure)) out << line << '\n';
    if (const std::vector<std::string> lines = checker.driver_lines(*failure); !lines.empty()) {
        out << "\nWhat the driver logged in this step:\n";
        for (const std::string &line : lines) out << "  " << line << '\n';
    }
}

}  // namespace

int run_check(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    Checker checker(invocation);
    const Outcome failure = checker.run();
    checker.disconnect(err);
    if (invocation.format == Format::json) {
        checker.print_json(out, failure);
    } else {
        checker.print_header(out);
        if (checker.several()) checker.print_servers(out);
        else print_one_server(out, checker, failure);
    }
    if (failure) return failure->exit_code;
    return checker.same_entries() ? kExitOk : kExitOperationFailed;
}
