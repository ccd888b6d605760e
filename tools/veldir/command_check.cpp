// check: the connection diagnosed step by step (load, open, bind, search,
// unbind, close) with the time of each, and the failing step explained with
// what veldir found out itself and the driver's log lines of that step.
#include <ldap.h>

#include <iomanip>
#include <ostream>
#include <sstream>
#include <string_view>

#include "commands.h"
#include "connection.h"
#include "driver_log.h"
#include "exit_codes.h"
#include "init_string_check.h"
#include "init_string_mask.h"
#include "json_writer.h"
#include "output.h"
#include "step_timer.h"
#include "table.h"
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

class Checker {
public:
    explicit Checker(const Invocation &invocation) : invocation_(invocation) {}

    // Runs the steps until one fails; the failure, if any.
    Outcome run() {
        if (Outcome failure = step("settings", [&] { return resolve_settings(invocation_, connection_.settings); }))
            return failure;
        if (Outcome failure = step("load driver", [&] { return load_driver(connection_.settings.driver, connection_.driver); }))
            return failure;
        if (Outcome failure = step("open", [&] { return open_session(connection_); })) return failure;
        Session &session = *connection_.session;
        steps_.back().note = "interface version " + std::to_string(session.interface_version());
        if (invocation_.base)
            if (Outcome failure = step("set base", [&] { return session.set_search_base(*invocation_.base); }))
                return failure;
        std::string bind_dn;
        session.get_property(DCL_PROP_BINDDN, bind_dn);
        Outcome failure = step("bind", [&] { return bind_session(connection_); });
        steps_.back().note = transport_of(connection_.settings.init) + ", " + bind_identity(bind_dn);
        if (failure) {
            step("unbind", [&] { return session.unbind(); });
            step("close", [&] { return session.close(); });
            return failure;
        }
        std::vector<Entry> entries;
        failure = step("search", [&] { return session.search(entries); });
        if (!failure) steps_.back().note = std::to_string(entries.size()) + " server entries below the base";
        // The connection is released even when the search failed.
        Outcome unbind = step("unbind", [&] { return session.unbind(); });
        Outcome close = step("close", [&] { return session.close(); });
        if (failure) return failure;
        return unbind ? unbind : close;
    }

    void print_header(std::ostream &out) const {
        for (const std::string &warning : connection_.settings.warnings) out << "warning: " << warning << '\n';
        if (!connection_.settings.warnings.empty()) out << '\n';
        Table table;
        table.add_row({"driver", connection_.settings.driver});
        table.add_row({"init", masked_init_string(connection_.settings.init)});
        table.add_row({"CA file", connection_.settings.ca.empty() ? "(none)" : connection_.settings.ca});
        const int limit = connection_.settings.timelimit.value_or(0);
        table.add_row({"time limit", limit == 0 ? "none" : std::to_string(limit) + " s"});
        table.print(out);
        out << '\n';
    }

    void print_steps(std::ostream &out) const {
        Table table({"STEP", "RESULT", "TIME", "NOTE"});
        for (const StepRecord &record : steps_)
            table.add_row({record.name, record.ok ? "ok" : "FAILED", format_milliseconds(record.milliseconds), record.note});
        table.print(out);
    }

    void print_json(std::ostream &out, const Outcome &failure) const {
        JsonWriter json(out);
        json.begin_object();
        json.key("ok").value(!failure);
        json.key("init").value(masked_init_string(connection_.settings.init));
        json.key("warnings").begin_array();
        for (const std::string &warning : connection_.settings.warnings) json.value(warning);
        json.end_array();
        json.key("steps").begin_array();
        for (const StepRecord &record : steps_) {
            json.begin_object();
            json.key("step").value(record.name);
            json.key("ok").value(record.ok);
            json.key("milliseconds").value(record.milliseconds, 3);
            json.key("note").value(record.note);
            json.end_object();
        }
        json.end_array();
        if (failure) {
            json.key("error").begin_object();
            json.key("step").value(failure->step);
            write_failure_members(json, *failure);
            json.key("driver_log").begin_array();
            for (const std::string &line : driver_lines(*failure)) json.value(line);
            json.end_array();
            json.end_object();
        }
        json.end_object();
    }

    void disconnect(std::ostream &err) { connection_.disconnect(err); }

    std::vector<std::string> driver_lines(const Failure &failure) const {
        return driver_log::lines_between(failure.log_begin, failure.log_end, connection_.settings.init);
    }

private:
    // Without a password the driver drops the bind DN and binds anonymously.
    std::string bind_identity(const std::string &bind_dn) const {
        const std::string &init = connection_.settings.init;
        if (!bind_dn_of(init).empty() && !has_password(init))
            return "anonymous (bind DN " + bind_dn_of(init) + " without a password)";
        return bind_dn.empty() ? "anonymous" : "as " + bind_dn;
    }

    template <typename Action>
    Outcome step(const char *name, Action action) {
        const veldldap::StepTimer timer;
        Outcome failure = action();
        steps_.push_back({name, !failure, timer.milliseconds(), ""});
        return failure;
    }

    const Invocation &invocation_;
    Connection connection_;
    std::vector<StepRecord> steps_;
};

}  // namespace

int run_check(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    Checker checker(invocation);
    const Outcome failure = checker.run();
    checker.disconnect(err);
    if (invocation.format == Format::json) {
        checker.print_json(out, failure);
    } else {
        checker.print_header(out);
        checker.print_steps(out);
        if (failure) {
            out << '\n';
            for (const std::string &line : failure_lines(*failure)) out << line << '\n';
            if (const std::vector<std::string> lines = checker.driver_lines(*failure); !lines.empty()) {
                out << "\nWhat the driver logged in this step:\n";
                for (const std::string &line : lines) out << "  " << line << '\n';
            }
        } else {
            out << "\nThe connection works.\n";
        }
    }
    return failure ? failure->exit_code : kExitOk;
}
