#include "import_tally.h"

void ImportTally::record(ImportOutcome outcome, TalliedEntry entry) {
    const std::lock_guard lock(mutex_);
    lists_[index(outcome)].add(std::move(entry));
}

std::size_t ImportTally::count(ImportOutcome outcome) const {
    const std::lock_guard lock(mutex_);
    return lists_[index(outcome)].total();
}

std::size_t ImportTally::total() const {
    const std::lock_guard lock(mutex_);
    std::size_t sum = 0;
    for (const FirstInFile<TalliedEntry> &list : lists_) sum += list.total();
    return sum;
}

std::vector<TalliedEntry> ImportTally::listed(ImportOutcome outcome) const {
    const std::lock_guard lock(mutex_);
    return lists_[index(outcome)].items();
}
