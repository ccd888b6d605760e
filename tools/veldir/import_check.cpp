#include "import_check.h"

#include <unordered_map>
#include <unordered_set>

#include "name_hashes.h"

namespace {

// Reads every entry; `each` gets the entries, `problems` their problems.
template <typename Each>
void read_entries(const ImportFile &file, const NamingRules &rules, Each each, FirstInFile<ImportProblem> *problems) {
    const std::unique_ptr<std::istream> in = file.read();
    const std::unique_ptr<ImportReader> reader = ImportReader::open(*in, file.format(), rules);
    ImportEntry entry;
    std::vector<ImportProblem> found;
    for (;;) {
        const bool more = reader->next(entry, found);
        if (problems != nullptr)
            for (ImportProblem &problem : found) problems->add(std::move(problem));
        found.clear();
        if (!more) return;
        each(entry);
    }
}

// The names whose hash came twice are compared whole, in a second reading
// that keeps only those names.
void report_duplicates(const ImportFile &file, const NamingRules &rules,
                       const std::unordered_set<std::uint64_t> &candidates, FirstInFile<ImportProblem> &problems) {
    std::unordered_map<std::string, int> first_line;
    read_entries(
        file, rules,
        [&](const ImportEntry &entry) {
            if (!entry.name) return;
            std::string key = comparison_key(*entry.name);
            if (!candidates.contains(NameHashes::hash(key))) return;
            const auto [first, inserted] = first_line.emplace(std::move(key), entry.line);
            if (!inserted)
                problems.add({entry.line, 0, entry.shown(),
                              "a second entry " + entry.name->dn + " (the first is at line " +
                                  std::to_string(first->second) + ")"});
        },
        nullptr);
}

}  // namespace

CheckResult check_import_file(const ImportFile &file, const NamingRules &rules) {
    CheckResult result;
    NameHashes seen;
    std::unordered_set<std::uint64_t> candidates;
    read_entries(
        file, rules,
        [&](const ImportEntry &entry) {
            ++result.entries;
            if (!entry.name) return;
            const std::uint64_t hash = NameHashes::hash(comparison_key(*entry.name));
            if (!seen.insert(hash)) candidates.insert(hash);
        },
        &result.problems);
    if (!candidates.empty()) report_duplicates(file, rules, candidates, result.problems);
    if (result.entries == 0 && result.problems.total() == 0) result.problems.add({0, 0, {}, "the file holds no entries"});
    return result;
}
