/*
 * Names of server entries.  veldir hands the driver whole distinguished
 * names: from a server name it builds velmorServername=VALUE,BASE with the
 * value escaped as RFC 4514 writes it, so that commas, plus signs, quotes
 * and leading or trailing blanks stay part of the name; a DN the user or a
 * file gives is parsed and written again the same way.  libldap's DN
 * routines do the parsing and the escaping.  The driver keeps every text in
 * a 513-byte buffer and cuts what is longer, so a DN of more than 512 bytes
 * is refused here, before any call.  The name veldir shows is the relative
 * name's value, unescaped.
 */
#ifndef VELDIR_ENTRY_NAMES_H
#define VELDIR_ENTRY_NAMES_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct EntryName {
    std::string dn;     // what the driver gets: velmorServername=VALUE,PARENT
    std::string value;  // the relative name's value, unescaped: what veldir shows
};

inline constexpr std::size_t kMaxDnBytes = 512;

// What a user typed: a DN beginning with velmorServername= (any letter
// case), or a server name placed below `base`.  nullopt and `error` when it
// cannot name a server entry or the DN would be too long for the driver.
std::optional<EntryName> entry_name(std::string_view name, std::string_view base, std::string &error);

// A DN from a file; with `new_base` the entry keeps its relative name and
// moves below that base.
std::optional<EntryName> entry_name_from_dn(std::string_view dn, const std::optional<std::string> &new_base,
                                            std::string &error);

// A server name below `base`, whatever characters it holds.
std::optional<EntryName> entry_name_below(std::string_view value, std::string_view base, std::string &error);

// The unescaped value of the first relative name of `dn`; nullopt when `dn` is no DN.
std::optional<std::string> relative_name_of(std::string_view dn);

// Equal for two names the directory takes as one entry: the DN as libldap
// writes it, ASCII letters folded (the naming attribute and the usual
// parent attributes compare without regard to case).
std::string comparison_key(const EntryName &name);

// The base DN of the URL in an initialisation string, where the driver
// places server names when no --base is given; nullopt when there is none.
std::optional<std::string> url_base_dn(const std::string &init);

#endif
