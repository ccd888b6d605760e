#include "name_hashes.h"

#include <functional>
#include <utility>

namespace {

// 0 marks a free slot, so no name may hash to it.
std::uint64_t stored(std::uint64_t hash) { return hash == 0 ? 1 : hash; }

}  // namespace

std::uint64_t NameHashes::hash(std::string_view name) { return stored(std::hash<std::string_view>{}(name)); }

bool NameHashes::insert(std::uint64_t hash) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        if (slots_[at] == hash) return false;
        if (slots_[at] != 0) continue;
        slots_[at] = hash;
        ++used_;
        return true;
    }
}

void NameHashes::grow() {
    std::vector<std::uint64_t> old = std::exchange(slots_, std::vector<std::uint64_t>(slots_.size() * 2));
    used_ = 0;
    for (std::uint64_t hash : old)
        if (hash != 0) insert(hash);
}
