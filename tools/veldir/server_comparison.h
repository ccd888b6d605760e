/*
 * Whether the servers of a replicated directory hold the same server
 * entries below the base: a view of the replication's health for check.
 * The driver returns only the vocabulary's attributes, not the entryCSN
 * or contextCSN that replication keeps, so what is compared is what a host
 * sees: the entries' names (their DNs, letters folded) and the values of
 * their attributes (comparable_values, entry.h).  A difference may be
 * replication that is behind as well as replication that is broken.
 */
#ifndef VELDIR_SERVER_COMPARISON_H
#define VELDIR_SERVER_COMPARISON_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "entry.h"

inline constexpr const char *kComparedWhat = "names and attribute values of the server entries below the base";

// One entry that is not alike on every server that answered.
struct EntryDifference {
    std::string name;                  // the server name veldir shows
    std::vector<std::size_t> missing;  // servers (from 1) that lack it
    std::vector<std::size_t> differs;  // servers (from 1) whose values differ from the first holder's
};

class ServerComparison {
public:
    // The listing of server `number` (from 1); servers that did not answer are left out.
    void add(std::size_t number, const std::vector<Entry> &entries);

    // Whether the servers added hold the same entries; true for fewer than two.
    bool same() const { return differences_count() == 0; }
    // Whether server `number` holds what the first server added holds.
    bool same_as_first(std::size_t number) const;
    // The differences, by name, at most `limit` of them.
    std::vector<EntryDifference> differences(std::size_t limit) const;
    std::size_t differences_count() const;

private:
    using Holding = std::map<std::string, std::pair<std::string, std::string>>;  // key: (shown name, values)
    std::vector<std::pair<std::size_t, Holding>> servers_;
};

#endif
