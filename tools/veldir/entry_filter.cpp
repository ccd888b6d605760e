#include "entry_filter.h"

#include <fnmatch.h>

#include <algorithm>

#include "schema.h"

namespace {

// fnmatch's pattern for a value where only "*" is a wildcard.
std::string star_pattern(std::string_view value) {
    std::string pattern;
    for (char c : value) {
        if (c == '?' || c == '[' || c == ']' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern;
}

}  // namespace

std::optional<std::string> EntryFilter::add(std::string_view condition) {
    const std::size_t equals = condition.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return "\"" + std::string(condition) + "\" is not of the form attribute=value (e.g. " +
               std::string(kNamingAttribute) + "=srv*)";
    const std::string_view name = condition.substr(0, equals);
    const AttributeSpec *definition = find_attribute(name);
    if (definition == nullptr)
        return "unknown attribute \"" + std::string(name) + "\" (veldir help attributes lists them)";
    conditions_.push_back({std::string(definition->name), star_pattern(condition.substr(equals + 1))});
    return std::nullopt;
}

bool EntryFilter::matches(const Entry &entry) const {
    return std::all_of(conditions_.begin(), conditions_.end(), [&entry](const Condition &condition) {
        const EntryAttribute *attribute = entry.find(condition.attribute);
        std::vector<std::string> values = attribute != nullptr ? attribute->values : std::vector<std::string>{};
        // An entry without the naming attribute is still named by its DN.
        if (values.empty() && condition.attribute == kNamingAttribute) values.push_back(entry.server_name());
        return std::any_of(values.begin(), values.end(), [&condition](const std::string &value) {
            return ::fnmatch(condition.pattern.c_str(), value.c_str(), FNM_CASEFOLD) == 0;
        });
    });
}

std::vector<Entry> EntryFilter::apply(std::vector<Entry> entries) const {
    std::erase_if(entries, [this](const Entry &entry) { return !matches(entry); });
    return entries;
}
