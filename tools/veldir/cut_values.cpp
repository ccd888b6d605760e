#include "cut_values.h"

#include <algorithm>
#include <fstream>
#include <optional>

namespace {

constexpr std::string_view kCutLogLine = "Result will be truncated!";

// nullopt when the log cannot be read (no log, or one the driver refused to use).
std::optional<bool> log_reports_cut(const std::string &log_file) {
    std::ifstream log(log_file);
    if (!log) return std::nullopt;
    for (std::string line; std::getline(log, line);)
        if (line.find(kCutLogLine) != std::string::npos) return true;
    return false;
}

}  // namespace

void confirm_cut_values(std::vector<Entry> &entries, const std::string &log_file) {
    const bool marked = std::any_of(entries.begin(), entries.end(), [](const Entry &entry) { return entry.has_cut_values(); });
    if (!marked || log_reports_cut(log_file) != false) return;
    for (Entry &entry : entries)
        for (EntryAttribute &attribute : entry.attributes) attribute.cut.clear();
}

bool warn_cut_values(std::ostream &err, const std::vector<Entry> &entries) {
    bool any = false;
    for (const Entry &entry : entries)
        for (const EntryAttribute &attribute : entry.attributes)
            for (std::size_t value : attribute.cut) {
                err << "veldir: warning: " << entry.server_name() << ": value " << value + 1 << " of " << attribute.name
                    << " was cut by the driver when it read it (it keeps at most 63 bytes of a transport type and 511 "
                       "of an address); the directory holds a longer value\n";
                any = true;
            }
    if (any) err << "veldir: the listing is incomplete: cut values are marked in JSON and LDIF output\n";
    return any;
}
