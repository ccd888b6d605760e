#include "server_comparison.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

// The directory takes DNs that differ in letter case as one.
std::string name_key(const Entry &entry) {
    std::string key = entry.dn;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

}  // namespace

void ServerComparison::add(std::size_t number, const std::vector<Entry> &entries) {
    Holding holding;
    for (const Entry &entry : entries) holding[name_key(entry)] = {entry.server_name(), comparable_values(entry)};
    servers_.emplace_back(number, std::move(holding));
}

bool ServerComparison::same_as_first(std::size_t number) const {
    for (const auto &[server, holding] : servers_)
        if (server == number) return holding == servers_.front().second;
    return false;
}

std::size_t ServerComparison::differences_count() const {
    return differences(static_cast<std::size_t>(-1)).size();
}

std::vector<EntryDifference> ServerComparison::differences(std::size_t limit) const {
    std::set<std::string> keys;
    for (const auto &server : servers_)
        for (const auto &held : server.second) keys.insert(held.first);
    std::vector<EntryDifference> found;
    for (const std::string &key : keys) {
        if (found.size() >= limit) break;
        EntryDifference difference;
        const std::pair<std::string, std::string> *first = nullptr;
        for (const auto &[number, holding] : servers_) {
            const auto held = holding.find(key);
            if (held == holding.end()) difference.missing.push_back(number);
            else if (first == nullptr) first = &held->second;
            else if (held->second.second != first->second) difference.differs.push_back(number);
        }
        if (difference.missing.empty() && difference.differs.empty()) continue;
        difference.name = first->first;
        found.push_back(std::move(difference));
    }
    return found;
}
