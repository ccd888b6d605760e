// import: many entries from an LDIF or JSON file, added one by one over one
// session, with a progress bar on a terminal and a summary of what failed.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "commands.h"
#include "connection.h"
#include "exit_codes.h"
#include "import_records.h"
#include "json_writer.h"
#include "output.h"
#include "progress_bar.h"

namespace {

constexpr std::size_t kProblemsShown = 20;
constexpr CS_INT kServerDown = -1;  // the LDAP client library's "Can't contact LDAP server"

struct RefusedEntry {
    const ImportRecord *record;
    Failure failure;
};

bool read_whole(const std::string &path, std::string &text) {
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

int report_problems(const Invocation &invocation, std::ostream &out, std::ostream &err, const std::string &path,
                    const std::vector<ImportProblem> &problems) {
    std::ostringstream message;
    message << path << " cannot be imported: " << problems.size() << (problems.size() == 1 ? " problem" : " problems");
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
        message << "\n  " << path;
        if (problems[i].line > 0) message << ":" << problems[i].line;
        message << ": " << problems[i].message;
    }
    if (problems.size() > kProblemsShown) message << "\n  ... and " << problems.size() - kProblemsShown << " more";
    print_failure(out, err, invocation.format,
                  tool_failure("import", message.str(), "nothing was added; fix the file and run again", kExitUsage));
    return kExitUsage;
}

void print_summary(std::ostream &out, Format format, const std::string &path, ImportFormat file_format,
                   std::size_t total, const std::vector<RefusedEntry> &refused) {
    const char *format_name = file_format == ImportFormat::json ? "JSON" : "LDIF";
    if (format == Format::json) {
        JsonWriter json(out);
        json.begin_object();
        json.key("ok").value(refused.empty());
        json.key("file").value(path);
        json.key("format").value(format_name);
        json.key("total").value(static_cast<std::int64_t>(total));
        json.key("added").value(static_cast<std::int64_t>(total - refused.size()));
        json.key("failed").begin_array();
        for (const RefusedEntry &entry : refused) {
            json.begin_object();
            json.key("line").value(entry.record->line);
            json.key("name").value(entry.record->name);
            write_failure_members(json, entry.failure);
            json.end_object();
        }
        json.end_array();
        json.end_object();
        return;
    }
    out << "imported " << total - refused.size() << " of " << total << " entries from " << path << " (" << format_name
        << ")\n";
    if (refused.empty()) return;
    out << refused.size() << (refused.size() == 1 ? " entry was" : " entries were") << " refused:\n";
    for (const RefusedEntry &entry : refused) {
        const std::vector<std::string> lines = failure_lines(entry.failure);
        out << "  line " << entry.record->line << ": " << lines.front() << '\n';
        for (std::size_t i = 1; i < lines.size(); ++i) out << "      " << lines[i] << '\n';
    }
}

}  // namespace

int run_import(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    const std::string &path = invocation.arguments.front();
    std::string text;
    if (!read_whole(path, text)) {
        print_failure(out, err, invocation.format,
                      tool_failure("import", "cannot read " + path, "check the file name", kExitUsage));
        return kExitUsage;
    }
    const ImportFormat format = detect_import_format(text);
    std::vector<ImportRecord> records;
    std::vector<ImportProblem> problems;
    if (!read_import_records(text, format, records, problems))
        return report_problems(invocation, out, err, path, problems);

    Connection connection;
    if (Outcome failure = connect(invocation, connection, true)) {
        connection.disconnect(err);
        print_failure(out, err, invocation.format, *failure);
        return failure->exit_code;
    }
    std::vector<RefusedEntry> refused;
    std::optional<Failure> lost;
    std::size_t tried = 0;
    {
        ProgressBar progress(err, records.size(), invocation.progress && is_terminal(2));
        for (; tried < records.size() && !lost; ++tried) {
            progress.show(tried, records[tried].name);
            Outcome failure = connection.session->add(records[tried].name, *records[tried].object);
            if (!failure) continue;
            // Without a server the remaining entries would all fail the same way.
            if (failure->comp.dcl_oserr == kServerDown) lost = failure;
            refused.push_back({&records[tried], std::move(*failure)});
        }
        progress.show(tried, "done");
    }
    connection.disconnect(err);
    print_summary(out, invocation.format, path, format, records.size(), refused);
    if (lost) {
        err << "veldir: the connection to the directory was lost; " << records.size() - tried
            << " entries were not tried\n";
        return kExitConfiguration;
    }
    return refused.empty() ? kExitOk : kExitOperationFailed;
}
