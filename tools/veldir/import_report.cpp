#include "import_report.h"

#include <sstream>

#include "exit_codes.h"
#include "json_writer.h"
#include "output.h"

namespace {

constexpr std::size_t kShownInText = 20;

std::string_view policy_name(ExistingPolicy policy) {
    static constexpr std::string_view kNames[] = {"fail", "skip", "replace"};
    return kNames[static_cast<std::size_t>(policy)];
}

std::string place(const ImportFile &file, const ImportProblem &problem) {
    std::string text = file.path();
    if (problem.line > 0) text += ":" + std::to_string(problem.line);
    if (problem.column > 0) text += ":" + std::to_string(problem.column);
    return text;
}

std::string plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

Failure problems_failure(const ImportFile &file, const CheckResult &check) {
    std::ostringstream message;
    message << file.path() << " cannot be imported: " << plural(check.problems.total(), "problem", "problems");
    const std::vector<ImportProblem> problems = check.problems.items();
    for (std::size_t i = 0; i < problems.size() && i < kShownInText; ++i) {
        message << "\n  " << place(file, problems[i]) << ": ";
        if (!problems[i].entry.empty()) message << problems[i].entry << ": ";
        message << problems[i].message;
    }
    if (check.problems.total() > kShownInText) message << "\n  ... and " << check.problems.total() - kShownInText << " more";
    return tool_failure("import", message.str(), "nothing was added; fix the file and run again", kExitUsage);
}

void write_problems_json(std::ostream &out, const ImportFile &file, const CheckResult &check, const Failure &failure) {
    JsonWriter json(out);
    begin_failure_object(json, failure);
    json.key("file").value(file.path());
    json.key("format").value(format_name(file.format()));
    json.key("problem_count").value(static_cast<std::int64_t>(check.problems.total()));
    json.key("problems").begin_array();
    for (const ImportProblem &problem : check.problems.items()) {
        json.begin_object();
        json.key("line").value(problem.line);
        json.key("column").value(problem.column);
        json.key("entry").value(problem.entry);
        json.key("message").value(problem.message);
        json.end_object();
    }
    json.end_array();
    json.end_object();
}

std::string counts_line(const Invocation &invocation, const ImportFile &file, const ImportTally &tally) {
    std::string line = invocation.dry_run ? "dry run, nothing was written: " : "";
    line += file.path() + " (" + std::string(format_name(file.format())) + "): " +
            plural(tally.total(), "entry", "entries") + ":";
    const char *separator = " ";
    for (const OutcomeWords &words : kOutcomes) {
        const std::size_t count = tally.count(words.outcome);
        if (words.outcome == ImportOutcome::unknown && count == 0) continue;
        line += separator + std::to_string(count) + " " + std::string(invocation.dry_run ? words.would : words.done);
        separator = ", ";
    }
    return line;
}

void print_listed(std::ostream &out, const OutcomeWords &words, const ImportTally &tally, bool dry_run) {
    const std::vector<TalliedEntry> listed = tally.listed(words.outcome);
    if (listed.empty()) return;
    out << (dry_run ? words.would : words.done) << ":\n";
    for (std::size_t i = 0; i < listed.size() && i < kShownInText; ++i) {
        out << "  line " << listed[i].line << " (" << listed[i].name << ")";
        if (words.outcome != ImportOutcome::refused || !listed[i].failure) {
            out << '\n';
            continue;
        }
        const std::vector<std::string> lines = failure_lines(*listed[i].failure);
        out << ": " << lines.front() << '\n';
        for (std::size_t l = 1; l < lines.size(); ++l) out << "      " << lines[l] << '\n';
    }
    const std::size_t count = tally.count(words.outcome);
    if (count > kShownInText)
        out << "  ... and " << count - kShownInText << " more (--json lists the first " << kListedEntries << ")\n";
}

std::string server_text(std::size_t number, std::size_t listed, const std::string &address) {
    return "server " + std::to_string(number) + " of " + std::to_string(listed) + ", " + address;
}

// "served by server 1 of 2, ldap://a:389, then server 2 of 2, ldap://b:389"
std::string served_line(const ServerUse &servers) {
    std::string line = "served by ";
    for (std::size_t i = 0; i < servers.served.size(); ++i)
        line += (i == 0 ? "" : ", then ") + server_text(servers.served[i].first, servers.listed, servers.served[i].second);
    return line;
}

void print_moves(std::ostream &err, const ServerUse &servers) {
    for (std::size_t i = 0; i < servers.moves.size() && i < kShownInText; ++i) {
        const ServerMove &move = servers.moves[i];
        for (const ServerFailure &left : move.passed_over)
            err << "veldir: warning: at line " << move.line << " (" << move.name << ") "
                << server_text(left.number, left.listed, left.address) << " failed, so the session moved on to "
                << "server " << move.to << ": " << failure_summary(left.failure) << '\n';
    }
    if (servers.moves.size() > kShownInText)
        err << "veldir: warning: ... and " << servers.moves.size() - kShownInText << " more moves (--json lists them)\n";
}

void write_servers_json(JsonWriter &json, const ServerUse &servers) {
    json.key("servers").begin_object();
    json.key("listed").value(static_cast<std::int64_t>(servers.listed));
    json.key("served").begin_array();
    for (const auto &[number, address] : servers.served)
        json.begin_object().key("number").value(static_cast<std::int64_t>(number)).key("address").value(address).end_object();
    json.end_array();
    json.key("moves").begin_array();
    for (const ServerMove &move : servers.moves) {
        json.begin_object();
        json.key("line").value(move.line).key("name").value(move.name);
        json.key("to").value(static_cast<std::int64_t>(move.to)).key("to_address").value(move.to_address);
        json.key("passed_over").begin_array();
        for (const ServerFailure &left : move.passed_over) write_server_failure(json, left);
        json.end_array();
        json.end_object();
    }
    json.end_array();
    json.end_object();
}

void write_outcomes_json(std::ostream &out, const Invocation &invocation, const ImportFile &file,
                         const ImportTally &tally, const SendResult &sent, bool ok) {
    const std::optional<LostConnection> &lost = sent.lost;
    JsonWriter json(out);
    json.begin_object();
    json.key("ok").value(ok);
    json.key("file").value(file.path());
    json.key("format").value(format_name(file.format()));
    json.key("dry_run").value(invocation.dry_run);
    json.key("existing").value(policy_name(invocation.existing));
    json.key("total").value(static_cast<std::int64_t>(tally.total()));
    for (const OutcomeWords &words : kOutcomes)
        json.key(words.key).value(static_cast<std::int64_t>(tally.count(words.outcome)));
    json.key("listed_at_most").value(static_cast<std::int64_t>(kListedEntries));
    json.key("entries").begin_object();
    for (const OutcomeWords &words : kOutcomes) {
        if (words.outcome == ImportOutcome::added) continue;
        json.key(words.key).begin_array();
        for (const TalliedEntry &entry : tally.listed(words.outcome)) {
            json.begin_object();
            json.key("line").value(entry.line);
            json.key("name").value(entry.name);
            if (entry.failure) write_failure_members(json, *entry.failure);
            json.end_object();
        }
        json.end_array();
    }
    json.end_object();
    if (lost) {
        json.key("connection_lost").begin_object();
        json.key("line").value(lost->line);
        json.key("name").value(lost->name);
        write_failure_members(json, lost->failure);
        json.end_object();
    }
    write_servers_json(json, sent.servers);
    json.end_object();
}

void print_lost(std::ostream &err, const LostConnection &lost, const ImportTally &tally) {
    err << "veldir: the connection to the directory was lost at line " << lost.line << " (" << lost.name << ")\n";
    for (const std::string &line : failure_lines(lost.failure))
        if (!line.starts_with("hint:")) err << "  " << line << '\n';
    err << "  hint: check that the directory server runs and is reachable, then import again with --existing skip "
           "(what was added is skipped)\n";
    if (const std::size_t unknown = tally.count(ImportOutcome::unknown))
        err << "  " << plural(unknown, "entry is", "entries are")
            << " unknown: the answer was lost and the directory could not be asked again; \"veldir read NAME\" "
               "tells\n";
}

}  // namespace

int report_problems(const Invocation &invocation, std::ostream &out, std::ostream &err, const ImportFile &file,
                    const CheckResult &check) {
    const Failure failure = problems_failure(file, check);
    print_failure(out, err, Format::table, failure);
    if (invocation.format == Format::json) write_problems_json(out, file, check, failure);
    return kExitUsage;
}

void report_checked(const Invocation &invocation, std::ostream &out, const ImportFile &file, std::size_t entries) {
    if (invocation.format != Format::json) {
        out << "dry run, nothing was written: " << file.path() << " (" << format_name(file.format())
            << "): " << plural(entries, "entry", "entries")
            << ", no problems; no connection is configured, so nothing was compared with the directory\n";
        return;
    }
    JsonWriter json(out);
    json.begin_object();
    json.key("ok").value(true);
    json.key("file").value(file.path());
    json.key("format").value(format_name(file.format()));
    json.key("dry_run").value(true);
    json.key("total").value(static_cast<std::int64_t>(entries));
    json.key("compared").value(false);
    json.end_object();
}

int report_outcomes(const Invocation &invocation, std::ostream &out, std::ostream &err, const ImportFile &file,
                    const ImportTally &tally, const SendResult &sent) {
    const std::optional<LostConnection> &lost = sent.lost;
    const bool ok = !lost && tally.count(ImportOutcome::refused) == 0;
    print_moves(err, sent.servers);
    if (invocation.format == Format::json) {
        write_outcomes_json(out, invocation, file, tally, sent, ok);
    } else {
        out << counts_line(invocation, file, tally) << '\n';
        if (sent.servers.listed > 1 && !sent.servers.served.empty()) out << served_line(sent.servers) << '\n';
        for (const OutcomeWords &words : kOutcomes) print_listed(out, words, tally, invocation.dry_run);
    }
    if (lost) {
        print_lost(err, *lost, tally);
        return kExitConfiguration;
    }
    return ok ? kExitOk : kExitOperationFailed;
}
