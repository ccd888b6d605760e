// search, read, add, modify and delete: one driver call each between the
// connection's bind and unbind, repeated on the next server of a
// replicated directory when the connection fails under it.  Add, modify and delete hand the driver the
// whole DN veldir built (entry_names.h); read hands it a server name as it
// is, so that the directory's wildcard works there.
#include <unistd.h>

#include <ostream>

#include "commands.h"
#include "cut_values.h"
#include "entry_filter.h"
#include "exit_codes.h"
#include "output.h"
#include "schema.h"
#include "terminal_text.h"
#include "veldldap/vocabulary.h"

namespace {

Failure usage_failure(const Invocation &invocation, const std::string &message) {
    return tool_failure(invocation.command, message, "see veldir help " + invocation.command, kExitUsage);
}

int print_usage_failure(const Invocation &invocation, std::ostream &out, std::ostream &err, const std::string &message) {
    print_failure(out, err, invocation.format, usage_failure(invocation, message));
    return kExitUsage;
}

// The driver's contract: a modify replaces the values of each attribute it
// names with at least one value, so nothing written here can remove one.
std::string empty_value_explanation(std::string_view attribute) {
    return std::string(attribute) +
           " has an empty value: modify cannot remove an attribute, because a modify always sends at least one "
           "value and replaces all values with those given; to remove it, use an LDAP tool such as ldapmodify";
}

// Builds the object from the "attribute=value" arguments after the name.
std::optional<std::string> build_object(const Invocation &invocation, ObjectBuilder &object) {
    for (std::size_t i = 1; i < invocation.arguments.size(); ++i) {
        const std::string &assignment = invocation.arguments[i];
        if (invocation.command == "modify" && !assignment.empty() && assignment.back() == '=')
            return empty_value_explanation(assignment.substr(0, assignment.size() - 1));
        if (std::optional<std::string> error = object.add_assignment(assignment)) return error;
    }
    return std::nullopt;
}

// The entry the first argument names, below the session's search base.
Outcome name_in_session(const Invocation &invocation, Session &session, EntryName &name) {
    std::string base;
    if (Outcome failure = session.search_base(base)) return failure;
    std::string error;
    std::optional<EntryName> built = entry_name(invocation.arguments.front(), base, error);
    if (!built) return usage_failure(invocation, error);
    name = std::move(*built);
    return std::nullopt;
}

// Listings and reads are incomplete when the driver cut a value it read.
int finish_listing(int code, bool cut) { return code == kExitOk && cut ? kExitIncomplete : code; }

// An add whose answer was lost with a server's connection may have been
// applied there and replicated here: the entry then holds what was given.
bool holds_as_given(Session &session, const EntryName &name, ObjectBuilder &object) {
    std::vector<Entry> found;
    if (session.read(name, found) || found.size() != 1) return false;
    return comparable_values(found.front()) == comparable_values(entry_from_object(*object.object()));
}

// Whether a repeated update finds its own effect: the entry it added, as
// given, or the entry it deleted gone.
bool finds_own_effect(const Invocation &invocation, Session &session, const EntryName &name, ObjectBuilder &object,
                      const Failure &failure) {
    if (invocation.command == "add") return already_exists(failure) && holds_as_given(session, name, object);
    return invocation.command == "delete" && no_such_entry(failure);
}

// add, modify and delete.  A modify repeated on another server does the
// same again; an add or delete whose answer a server lost, and that finds
// its own effect on the next, succeeded on the server that lost the answer.
int run_update(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    ObjectBuilder object;
    if (std::optional<std::string> error = build_object(invocation, object))
        return print_usage_failure(invocation, out, err, *error);
    EntryName name;
    bool answer_was_lost = false;  // by a server before this one
    const auto operation = [&](Session &session, bool) -> Outcome {
        if (Outcome failure = name_in_session(invocation, session, name)) return failure;
        if (invocation.command == "add")
            if (std::optional<std::string> error = object.name_entry(name.value)) return usage_failure(invocation, *error);
        Outcome failure = invocation.command == "add"      ? session.add(name, object)
                          : invocation.command == "modify" ? session.modify(name, object)
                                                           : session.remove(name);
        if (!failure) return failure;
        if (answer_lost(*failure)) {
            answer_was_lost = true;
            return failure;
        }
        if (!answer_was_lost || !finds_own_effect(invocation, session, name, object, *failure)) return failure;
        err << "veldir: the answer of the server that failed was lost, and the server now serving shows the "
            << invocation.command << " done\n";
        return std::nullopt;
    };
    return run_connected(invocation, out, err, true, operation, [&](const ServedBy &served) {
        print_done(out, invocation.format, invocation.command, name.value, &served);
    });
}

}  // namespace

int run_search(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    EntryFilter filter;
    for (const std::string &condition : invocation.arguments)
        if (std::optional<std::string> error = filter.add(condition))
            return print_usage_failure(invocation, out, err, *error);
    const ListingLayout layout{invocation.columns, invocation.wide ? 0 : screen_width(STDOUT_FILENO)};
    std::vector<Entry> entries;
    bool cut = false;
    const auto operation = [&](Session &session, bool) { return session.search(entries); };
    const int code = run_connected(invocation, out, err, true, operation, [&](const ServedBy &served) {
        entries = filter.apply(std::move(entries));
        confirm_cut_values(entries);
        print_entry_list(out, invocation.format, entries, layout, &served);
        cut = warn_cut_values(err, entries);
    });
    return finish_listing(code, cut);
}

int run_read(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    const std::string &given = invocation.arguments.front();
    // The driver copies a name into a 513-byte buffer: a longer one would be
    // cut and could name another entry.
    if (!veldldap::vocabulary::is_server_dn_any_case(given) && given.size() > kMaxDnBytes)
        return print_usage_failure(invocation, out, err,
                                   "the server name has " + std::to_string(given.size()) +
                                       " bytes; the driver takes at most " + std::to_string(kMaxDnBytes));
    std::vector<Entry> entries;
    bool cut = false;
    const auto operation = [&](Session &session, bool) -> Outcome {
        if (!veldldap::vocabulary::is_server_dn_any_case(given)) return session.read_server_name(given, entries);
        EntryName name;
        if (Outcome refused = name_in_session(invocation, session, name)) return refused;
        return session.read(name, entries);
    };
    const int code = run_connected(invocation, out, err, true, operation, [&](const ServedBy &served) {
        // velmorServername may hold several values: another entry that also
        // carries this one answers too, as does a wildcard.
        if (entries.size() > 1)
            err << "veldir: warning: " << entries.size() << " entries answer to the name " << escape_controls(given)
                << (given.find('*') == std::string::npos ? " (an entry may carry it besides its own name)" : "")
                << '\n';
        confirm_cut_values(entries);
        print_entry_details(out, invocation.format, entries, &served);
        cut = warn_cut_values(err, entries);
    });
    return finish_listing(code, cut);
}

int run_add(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    return run_update(invocation, out, err);
}

int run_modify(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    return run_update(invocation, out, err);
}

int run_delete(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    return run_update(invocation, out, err);
}
