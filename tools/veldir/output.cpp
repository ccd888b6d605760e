#include "output.h"

#include <algorithm>

#include "exit_codes.h"
#include "json_writer.h"
#include "ldif.h"
#include "log_directory.h"
#include "schema.h"
#include "table.h"
#include "terminal_text.h"

namespace {

// The driver's log, for a failure of the driver's when the log is there.
std::string driver_log_of(const Failure &failure) {
    return failure.from_driver ? log_directory::log_file() : std::string();
}

std::string joined(const std::vector<std::string> &values) {
    std::string out;
    for (const std::string &value : values) {
        if (!out.empty()) out += "; ";
        out += value;
    }
    return out;
}

// "cut": {"velmorAddress": [1]}: positions of the values the driver cut (cut_values.h).
void write_json_cut_marks(JsonWriter &json, const Entry &entry) {
    json.key("cut").begin_object();
    for (const EntryAttribute &attribute : entry.attributes) {
        if (attribute.cut.empty()) continue;
        json.key(attribute.name).begin_array();
        for (std::size_t value : attribute.cut) json.value(static_cast<std::int64_t>(value));
        json.end_array();
    }
    json.end_object();
}

}  // namespace

void write_json_entry(JsonWriter &json, const Entry &entry) {
    json.begin_object();
    json.key("dn").value(entry.dn);
    json.key("name").value(entry.server_name());
    json.key("attributes").begin_object();
    for (const EntryAttribute &attribute : entry.attributes) {
        json.key(attribute.name).begin_array();
        for (const std::string &value : attribute.values) {
            // Integers as JSON numbers; the driver only ever gives decimal text here.
            if (attribute.syntax == DCL_SYNTAX_INTEGER) json.value(static_cast<std::int64_t>(std::stoll(value)));
            else json.value(value);
        }
        json.end_array();
    }
    json.end_object();
    if (entry.has_cut_values()) write_json_cut_marks(json, entry);
    json.end_object();
}

namespace {

void write_json_entries(std::ostream &out, const std::vector<Entry> &entries, const ServedBy *served) {
    JsonWriter json(out);
    json.begin_object();
    json.key("count").value(static_cast<std::int64_t>(entries.size()));
    if (std::any_of(entries.begin(), entries.end(), [](const Entry &entry) { return entry.has_cut_values(); }))
        json.key("incomplete").value(true);
    json.key("entries").begin_array();
    for (const Entry &entry : entries) write_json_entry(json, entry);
    json.end_array();
    if (served != nullptr) write_served_by(json, *served);
    json.end_object();
}

// Columns of a listing: the server name, then every attribute some entry has.
std::vector<std::string> listing_columns(const std::vector<Entry> &entries) {
    std::vector<std::string> columns{std::string(kNamingAttribute)};
    for (const Entry &entry : entries)
        for (const EntryAttribute &attribute : entry.attributes)
            if (std::find(columns.begin(), columns.end(), attribute.name) == columns.end())
                columns.push_back(attribute.name);
    std::stable_sort(columns.begin() + 1, columns.end(), [](const std::string &left, const std::string &right) {
        return schema_position(left) < schema_position(right);
    });
    return columns;
}

}  // namespace

void print_entry_list(std::ostream &out, Format format, const std::vector<Entry> &entries,
                      const ListingLayout &layout, const ServedBy *served) {
    if (format == Format::json) return write_json_entries(out, entries, served);
    if (format == Format::ldif) {
        for (const Entry &entry : entries) write_ldif_entry(out, entry);
        return;
    }
    if (entries.empty()) {
        out << "no server entries\n";
        return;
    }
    const std::vector<std::string> columns = layout.columns.empty() ? listing_columns(entries) : layout.columns;
    Table table(columns);
    for (const Entry &entry : entries) {
        std::vector<std::string> row;
        for (const std::string &column : columns) {
            const EntryAttribute *attribute = entry.find(column);
            if (column == kNamingAttribute) row.push_back(entry.server_name());
            else row.push_back(attribute == nullptr ? "" : joined(attribute->values));
        }
        table.add_row(std::move(row));
    }
    table.fit_to(layout.width);
    if (const std::size_t hidden = table.print(out))
        out << cut_to_width(std::to_string(hidden) + (hidden == 1 ? " column" : " columns") +
                                " not shown (--columns or --wide shows them)",
                            layout.width)
            << '\n';
    out << entries.size() << (entries.size() == 1 ? " entry\n" : " entries\n");
}

void print_entry_details(std::ostream &out, Format format, const std::vector<Entry> &entries,
                         const ServedBy *served) {
    if (format != Format::table) return print_entry_list(out, format, entries, {}, served);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) out << '\n';
        Table table;
        table.add_row({"dn", entries[i].dn});
        for (const EntryAttribute &attribute : entries[i].attributes)
            for (std::size_t v = 0; v < attribute.values.size(); ++v)
                table.add_row({v == 0 ? attribute.name : "", attribute.values[v]});
        table.print(out);
    }
}

void print_done(std::ostream &out, Format format, const std::string &operation, const std::string &name,
                const ServedBy *served) {
    if (format == Format::json) {
        JsonWriter json(out);
        json.begin_object().key("ok").value(true).key("operation").value(operation).key("name").value(name);
        if (served != nullptr) write_served_by(json, *served);
        json.end_object();
        return;
    }
    static const std::pair<const char *, const char *> kPastTense[] = {
        {"add", "added"}, {"modify", "modified"}, {"delete", "deleted"}};
    std::string done = operation;
    for (const auto &[verb, past] : kPastTense)
        if (operation == verb) done = past;
    out << done << ' ' << escape_controls(name) << '\n';
}

namespace {

// A message's own line breaks (a list of problems, say) stay line breaks;
// each line is indented by whoever prints it, so its own indent goes.
void add_message_lines(std::vector<std::string> &lines, std::string head, std::string_view message) {
    for (std::size_t start = 0; start <= message.size();) {
        const std::size_t end = std::min(message.find('\n', start), message.size());
        std::string_view line = message.substr(start, end - start);
        if (start > 0) line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
        lines.push_back(head + escape_controls(line));
        head.clear();
        start = end + 1;
    }
}

}  // namespace

namespace {

// The failure's own lines, without the log's place.
std::vector<std::string> report_lines(const Failure &failure) {
    const Explanation explanation = explain(failure);
    std::vector<std::string> lines;
    std::string first = escape_controls(failure.step) + " failed: ";
    if (!explanation.code_name.empty()) {
        first += explanation.code_name;
        if (failure.from_driver && failure.comp.dcl_provstatus != 0 && failure.comp.dcl_status != DLDAP_STATUS_BAD_OPTION)
            first += " (" + std::to_string(failure.comp.dcl_provstatus) + ")";
        first += " - ";
    }
    add_message_lines(lines, first, explanation.meaning);
    if (!explanation.detail.empty()) add_message_lines(lines, "", explanation.detail);
    if (!explanation.hint.empty()) add_message_lines(lines, "hint: ", explanation.hint);
    return lines;
}

std::string server_name(const ServerFailure &server) {
    return "server " + std::to_string(server.number) + " of " + std::to_string(server.listed) + ", " +
           escape_controls(server.address);
}

// Every server tried, each with its failure below a line that says how the run ended.
std::vector<std::string> servers_lines(const Failure &failure) {
    const ServerFailure &last = failure.servers.back();
    std::vector<std::string> lines{
        moves_to_next_server(last.failure)
            ? "none of the " + std::to_string(last.listed) + " servers listed served"
            : "the run stopped at " + server_name(last) + ", whose failure another server would not change"};
    for (const ServerFailure &server : failure.servers) {
        const std::vector<std::string> own = report_lines(server.failure);
        lines.push_back(server_name(server) + ": " + own.front());
        for (std::size_t i = 1; i < own.size(); ++i) lines.push_back("  " + own[i]);
    }
    return lines;
}

}  // namespace

std::vector<std::string> failure_lines(const Failure &failure) {
    std::vector<std::string> lines = failure.servers.empty() ? report_lines(failure) : servers_lines(failure);
    if (const std::string log = driver_log_of(failure); !log.empty()) lines.push_back("the driver's log: " + log);
    return lines;
}

std::string failure_summary(const Failure &failure) {
    const std::vector<std::string> lines = report_lines(failure);
    const Explanation explanation = explain(failure);
    if (explanation.detail.empty()) return lines.front();
    return lines.front() + "; " + escape_controls(explanation.detail);
}

void print_served_by(std::ostream &err, const ServedBy &served) {
    if (!served.several()) return;
    for (const ServerFailure &server : served.passed_over)
        err << "veldir: warning: " << server_name(server) << ", failed, so the run moved on: "
            << failure_summary(server.failure) << '\n';
    err << "veldir: served by server " << served.number << " of " << served.listed << ", "
        << escape_controls(served.address) << '\n';
}

void write_served_by(JsonWriter &json, const ServedBy &served) {
    json.key("server").begin_object();
    json.key("number").value(static_cast<std::int64_t>(served.number));
    json.key("listed").value(static_cast<std::int64_t>(served.listed));
    json.key("address").value(served.address);
    json.key("passed_over").begin_array();
    for (const ServerFailure &server : served.passed_over) write_server_failure(json, server);
    json.end_array();
    json.end_object();
}

void write_server_failure(JsonWriter &json, const ServerFailure &server) {
    json.begin_object();
    json.key("number").value(static_cast<std::int64_t>(server.number));
    json.key("listed").value(static_cast<std::int64_t>(server.listed));
    json.key("address").value(server.address);
    json.key("step").value(server.failure.step);
    write_failure_members(json, server.failure);
    json.end_object();
}

void begin_failure_object(JsonWriter &json, const Failure &failure) {
    json.begin_object();
    json.key("ok").value(false);
    json.key("step").value(failure.step);
    json.key("exit_code").value(failure.exit_code);
    json.key("error").begin_object();
    write_failure_members(json, failure);
    json.end_object();
}

namespace {

void write_failure_object(std::ostream &out, const Failure &failure, const ServedBy *served) {
    JsonWriter json(out);
    begin_failure_object(json, failure);
    if (served != nullptr) write_served_by(json, *served);
    json.end_object();
}

}  // namespace

void print_failure(std::ostream &out, std::ostream &err, Format format, const Failure &failure,
                   const ServedBy *served) {
    if (served != nullptr) print_served_by(err, *served);
    const std::vector<std::string> lines = failure_lines(failure);
    err << "veldir: " << lines.front() << '\n';
    for (std::size_t i = 1; i < lines.size(); ++i) err << "  " << lines[i] << '\n';
    if (format == Format::json) write_failure_object(out, failure, served);
}

void print_usage_error(std::ostream &out, std::ostream &err, Format format, const std::string &message) {
    err << "veldir: " << escape_controls(message) << '\n';
    if (format == Format::json)
        write_failure_object(out, tool_failure("command line", message, "see veldir --help", kExitUsage), nullptr);
}

void write_failure_members(JsonWriter &json, const Failure &failure) {
    const Explanation explanation = explain(failure);
    json.key("code").value(explanation.code_name);
    if (failure.from_driver) {
        json.key("status").value(failure.comp.dcl_status);
        json.key("provstatus").value(failure.comp.dcl_provstatus);
        json.key("oserr").value(failure.comp.dcl_oserr);
    }
    json.key("message").value(explanation.meaning);
    json.key("detail").value(explanation.detail);
    json.key("hint").value(explanation.hint);
    if (const std::string log = driver_log_of(failure); !log.empty()) json.key("log").value(log);
    if (failure.servers.empty()) return;
    json.key("servers").begin_array();
    for (const ServerFailure &server : failure.servers) write_server_failure(json, server);
    json.end_array();
}
