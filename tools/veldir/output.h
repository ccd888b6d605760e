/*
 * How veldir shows its results: entries as an aligned table (default), as
 * JSON (--json) or as LDIF (--ldif); confirmations of changes; and failures,
 * always as words on standard error and, with --json, also as a JSON object
 * on standard output so that scripts get them in the same stream.
 */
#ifndef VELDIR_OUTPUT_H
#define VELDIR_OUTPUT_H

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "entry.h"
#include "failover.h"
#include "failure.h"

class JsonWriter;

enum class Format { table, json, ldif };

// How a listing looks as a table: the columns picked (none: every
// attribute some entry has) and the width to fit (0: values whole).
struct ListingLayout {
    std::vector<std::string> columns;
    std::size_t width = 0;
};

// A listing: one table row per entry, or every entry in JSON or LDIF.  In
// JSON `served`, when given, names the server that answered.
void print_entry_list(std::ostream &out, Format format, const std::vector<Entry> &entries,
                      const ListingLayout &layout = {}, const ServedBy *served = nullptr);

// One entry as a JSON object: dn, name and attributes.
void write_json_entry(JsonWriter &json, const Entry &entry);

// Entries read by name: each as an attribute/value list in table form.
void print_entry_details(std::ostream &out, Format format, const std::vector<Entry> &entries,
                         const ServedBy *served = nullptr);

// "added srv1" (escaped for the terminal), or {"ok": true, "operation": "add", "name": "srv1"}.
void print_done(std::ostream &out, Format format, const std::string &operation, const std::string &name,
                const ServedBy *served = nullptr);

// The failure in words on `err`; with Format::json also as JSON on `out`:
// {"ok": false, "step", "exit_code", "error": {...}}, and "server" when
// `served` names the server that failed after others were passed over.
void print_failure(std::ostream &out, std::ostream &err, Format format, const Failure &failure,
                   const ServedBy *served = nullptr);

// Which of several servers served, on `err`, after a warning for each one
// passed over; nothing when only one server is listed.
void print_served_by(std::ostream &err, const ServedBy &served);

// "server": {"number", "listed", "address", "passed_over": [...]}, into an
// object the caller opened.
void write_served_by(JsonWriter &json, const ServedBy &served);

// A usage error: "veldir: MESSAGE" on `err`; with Format::json also the
// failure object on `out`, of the step "command line" with exit code 2.
void print_usage_error(std::ostream &out, std::ostream &err, Format format, const std::string &message);

// The members of a failure's JSON object, into an object the caller opened:
// code, the driver's status, provstatus and oserr when it reported them,
// message, detail, hint, the driver's log when there is one, and "servers"
// (each with number, listed, address, step and these members) when the
// servers of a replicated directory failed one after another.  Every JSON
// report of a failure uses it.
void write_failure_members(JsonWriter &json, const Failure &failure);
// {"ok": false, "step", "exit_code", "error": {...}, left open for more members.
void begin_failure_object(JsonWriter &json, const Failure &failure);

// One server's failure as a JSON object: number, listed, address, step and
// the failure's members.
void write_server_failure(JsonWriter &json, const ServerFailure &server);

// The failure in one line: what failed and the accompanying number's text.
std::string failure_summary(const Failure &failure);

// The failure's lines in words, for reports that list several (check, import,
// demo); control characters escaped, as the directory's messages may hold them.
std::vector<std::string> failure_lines(const Failure &failure);

#endif
