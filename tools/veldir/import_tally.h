/*
 * Where every entry of an import ended: added, skipped (it existed),
 * replaced (it existed and took the file's values), refused (with the
 * directory's reason), not tried, or unknown.  Unknown is only for an entry
 * whose answer the lost connection swallowed and that no later read could
 * settle (the server stayed down): the directory may or may not hold it.
 * The counts always add up to the entries of the file.  Every outcome but
 * added keeps a list of its first entries in file order; threads record
 * into one tally.
 */
#ifndef VELDIR_IMPORT_TALLY_H
#define VELDIR_IMPORT_TALLY_H

#include <array>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "failure.h"
#include "first_in_file.h"

enum class ImportOutcome { added, skipped, replaced, refused, not_tried, unknown };

struct OutcomeWords {
    ImportOutcome outcome;
    std::string_view key;    // JSON member, "not_tried"
    std::string_view done;   // "not tried"
    std::string_view would;  // what a dry run says: "would be added"
};

inline constexpr OutcomeWords kOutcomes[] = {
    {ImportOutcome::added, "added", "added", "would be added"},
    {ImportOutcome::skipped, "skipped", "skipped", "would be skipped"},
    {ImportOutcome::replaced, "replaced", "replaced", "would be replaced"},
    {ImportOutcome::refused, "refused", "refused", "would be refused"},
    {ImportOutcome::not_tried, "not_tried", "not tried", "not tried"},
    {ImportOutcome::unknown, "unknown", "unknown", "unknown"},
};

// How many entries of each outcome are listed; the rest are counted.
inline constexpr std::size_t kListedEntries = 1000;

struct TalliedEntry {
    int line = 0;
    std::string name;
    std::optional<Failure> failure;  // why it was refused, or what the lost connection said
};

class ImportTally {
public:
    void record(ImportOutcome outcome, TalliedEntry entry);

    std::size_t count(ImportOutcome outcome) const;
    std::size_t total() const;
    // In file order, at most kListedEntries; none for added.
    std::vector<TalliedEntry> listed(ImportOutcome outcome) const;

private:
    static std::size_t index(ImportOutcome outcome) { return static_cast<std::size_t>(outcome); }

    mutable std::mutex mutex_;
    std::array<FirstInFile<TalliedEntry>, std::size(kOutcomes)> lists_{
        FirstInFile<TalliedEntry>(0), FirstInFile<TalliedEntry>(kListedEntries),
        FirstInFile<TalliedEntry>(kListedEntries), FirstInFile<TalliedEntry>(kListedEntries),
        FirstInFile<TalliedEntry>(kListedEntries), FirstInFile<TalliedEntry>(kListedEntries)};
};

#endif
