/*
 * The conditions of "veldir search ATTRIBUTE=VALUE ...".  The driver's
 * search takes no filter (it lists every server entry below the base), so
 * veldir narrows the listing itself: an entry stays when every condition
 * holds, that is when one of its values of the attribute matches VALUE,
 * ignoring the case of the letters A to Z, with "*" standing for any run of
 * characters.  Values are compared in the text veldir shows them in.
 */
#ifndef VELDIR_ENTRY_FILTER_H
#define VELDIR_ENTRY_FILTER_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry.h"

class EntryFilter {
public:
    // Adds "attribute=value"; the error in words when it is not of that
    // form or the attribute is not a server entry's.
    std::optional<std::string> add(std::string_view condition);
    bool matches(const Entry &entry) const;
    // The entries that match, in their order.
    std::vector<Entry> apply(std::vector<Entry> entries) const;

private:
    struct Condition {
        std::string attribute;  // the vocabulary's spelling
        std::string pattern;    // for fnmatch: only "*" is special
    };
    std::vector<Condition> conditions_;
};

#endif
