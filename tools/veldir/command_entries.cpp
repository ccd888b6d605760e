// search, read, add, modify and delete: one driver call each between the
// connection's bind and unbind.
#include <unistd.h>

#include <ostream>

#include "commands.h"
#include "entry_filter.h"
#include "exit_codes.h"
#include "output.h"
#include "schema.h"
#include "terminal_text.h"

namespace {

int usage_failure(const Invocation &invocation, std::ostream &out, std::ostream &err, const std::string &message) {
    print_failure(out, err, invocation.format,
                  tool_failure(invocation.command, message, "see veldir help " + invocation.command, kExitUsage));
    return kExitUsage;
}

// Builds the object from the "attribute=value" arguments after the name.
std::optional<std::string> build_object(const Invocation &invocation, ObjectBuilder &object) {
    for (std::size_t i = 1; i < invocation.arguments.size(); ++i)
        if (std::optional<std::string> error = object.add_assignment(invocation.arguments[i])) return error;
    return std::nullopt;
}

int run_update(const Invocation &invocation, std::ostream &out, std::ostream &err, bool is_add) {
    const std::string name = canonical_name(invocation.arguments.front());
    ObjectBuilder object;
    if (std::optional<std::string> error = build_object(invocation, object))
        return usage_failure(invocation, out, err, *error);
    if (is_add && !object.has(kNamingAttribute)) {
        if (std::optional<std::string> error = object.add(kNamingAttribute, server_name_of(name)))
            return usage_failure(invocation, out, err, *error);
    }
    return run_connected(invocation, out, err, true, [&](Session &session) -> Outcome {
        Outcome failure = is_add ? session.add(name, object) : session.modify(name, object);
        if (!failure) print_done(out, invocation.format, invocation.command, name);
        return failure;
    });
}

}  // namespace

int run_search(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    EntryFilter filter;
    for (const std::string &condition : invocation.arguments)
        if (std::optional<std::string> error = filter.add(condition)) return usage_failure(invocation, out, err, *error);
    const ListingLayout layout{invocation.columns, invocation.wide ? 0 : screen_width(STDOUT_FILENO)};
    return run_connected(invocation, out, err, true, [&](Session &session) -> Outcome {
        std::vector<Entry> entries;
        Outcome failure = session.search(entries);
        if (!failure) print_entry_list(out, invocation.format, filter.apply(std::move(entries)), layout);
        return failure;
    });
}

int run_read(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    const std::string name = canonical_name(invocation.arguments.front());
    return run_connected(invocation, out, err, true, [&](Session &session) -> Outcome {
        std::vector<Entry> entries;
        Outcome failure = session.read(name, entries);
        if (!failure) print_entry_details(out, invocation.format, entries);
        return failure;
    });
}

int run_add(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    return run_update(invocation, out, err, true);
}

int run_modify(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    return run_update(invocation, out, err, false);
}

int run_delete(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    const std::string name = canonical_name(invocation.arguments.front());
    return run_connected(invocation, out, err, true, [&](Session &session) -> Outcome {
        Outcome failure = session.remove(name);
        if (!failure) print_done(out, invocation.format, "delete", name);
        return failure;
    });
}
