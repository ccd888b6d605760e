#include "import_records.h"

#include <strings.h>

#include <span>

#include "json_reader.h"
#include "ldif.h"
#include "schema.h"

namespace {

bool same_word(std::string_view left, std::string_view right) {
    return left.size() == right.size() && ::strncasecmp(left.data(), right.data(), left.size()) == 0;
}

// Starts a record for `name`; false (and a problem) when the name cannot name a server entry.
bool begin_record(int line, std::string_view name, ImportRecord &record, std::vector<ImportProblem> &problems) {
    record.line = line;
    record.name = canonical_name(name);
    record.object = std::make_unique<ObjectBuilder>();
    if (name.empty()) {
        problems.push_back({line, "the entry has no name"});
        return false;
    }
    if (name.find('=') != std::string_view::npos && !is_server_dn(name)) {
        problems.push_back({line, "\"" + std::string(name) + "\" is neither a server name nor a DN beginning with " +
                                      std::string(kNamingAttribute) + "="});
        return false;
    }
    return true;
}

// The naming attribute follows from the name when the entry does not give it.
void finish_record(ImportRecord &record, std::vector<ImportRecord> &records, std::vector<ImportProblem> &problems) {
    if (!record.object->has(kNamingAttribute))
        if (std::optional<std::string> error = record.object->add(kNamingAttribute, server_name_of(record.name)))
            problems.push_back({record.line, *error});
    records.push_back(std::move(record));
}

void read_ldif_records(std::string_view text, std::vector<ImportRecord> &records, std::vector<ImportProblem> &problems) {
    std::vector<LdifRecord> ldif_records;
    std::vector<LdifProblem> ldif_problems;
    parse_ldif(text, ldif_records, ldif_problems);
    for (const LdifProblem &problem : ldif_problems) problems.push_back({problem.line, problem.message});
    for (const LdifRecord &ldif : ldif_records) {
        ImportRecord record;
        if (!begin_record(ldif.line, ldif.dn, record, problems)) continue;
        for (const auto &[attribute, value] : ldif.attributes) {
            // Every entry the driver adds is a velmorServer; other classes cannot be given.
            if (same_word(attribute, "objectClass")) continue;
            if (std::optional<std::string> error = record.object->add(attribute, value))
                problems.push_back({ldif.line, record.name + ": " + *error});
        }
        finish_record(record, records, problems);
    }
}

// One JSON value of an attribute: a string, or an integer number.
bool json_value_text(const JsonValue &value, std::string &text) {
    if (value.kind == JsonValue::Kind::string) {
        text = value.text;
        return true;
    }
    if (value.kind == JsonValue::Kind::number && value.text.find_first_of(".eE") == std::string::npos) {
        text = value.text;
        return true;
    }
    return false;
}

void read_json_attributes(const JsonValue &attributes, ImportRecord &record, std::vector<ImportProblem> &problems) {
    if (attributes.kind != JsonValue::Kind::object) {
        problems.push_back({attributes.line, "\"attributes\" must be an object of attribute names and values"});
        return;
    }
    for (const auto &[attribute, values] : attributes.members) {
        const std::span<const JsonValue> list =
            values.kind == JsonValue::Kind::array ? std::span<const JsonValue>(values.items) : std::span(&values, 1);
        for (const JsonValue &value : list) {
            std::string text;
            if (!json_value_text(value, text)) {
                problems.push_back({value.line, record.name + ": " + attribute + ": a value must be a string or an "
                                                "integer, not " + std::string(json_kind_name(value.kind))});
                continue;
            }
            if (std::optional<std::string> error = record.object->add(attribute, text))
                problems.push_back({value.line, record.name + ": " + *error});
        }
    }
}

void read_json_entry(const JsonValue &entry, std::vector<ImportRecord> &records, std::vector<ImportProblem> &problems) {
    if (entry.kind != JsonValue::Kind::object) {
        problems.push_back({entry.line, "an entry must be an object, not " + std::string(json_kind_name(entry.kind))});
        return;
    }
    for (const auto &[member, value] : entry.members)
        if (member != "name" && member != "dn" && member != "attributes")
            problems.push_back({value.line, "unknown member \"" + member + "\" (an entry has name or dn, and attributes)"});
    // The server name places the entry below this session's base, so it wins over the DN.
    const JsonValue *name = entry.member("name");
    if (name == nullptr) name = entry.member("dn");
    if (name == nullptr || name->kind != JsonValue::Kind::string) {
        problems.push_back({entry.line, "an entry needs \"name\" (server name) or \"dn\" as a string"});
        return;
    }
    ImportRecord record;
    if (!begin_record(entry.line, name->text, record, problems)) return;
    if (const JsonValue *attributes = entry.member("attributes")) read_json_attributes(*attributes, record, problems);
    finish_record(record, records, problems);
}

void read_json_records(std::string_view text, std::vector<ImportRecord> &records, std::vector<ImportProblem> &problems) {
    JsonValue document;
    JsonError error;
    if (!parse_json(text, document, error)) {
        problems.push_back({error.line, "column " + std::to_string(error.column) + ": " + error.message});
        return;
    }
    const JsonValue *entries = &document;
    if (document.kind == JsonValue::Kind::object) {
        for (const auto &[member, value] : document.members)
            if (member != "entries" && member != "count")
                problems.push_back({value.line, "unknown member \"" + member + "\" (expected \"entries\")"});
        entries = document.member("entries");
    }
    if (entries == nullptr || entries->kind != JsonValue::Kind::array) {
        problems.push_back({document.line, "expected an array of entries, or an object with \"entries\": [...]"});
        return;
    }
    for (const JsonValue &entry : entries->items) read_json_entry(entry, records, problems);
}

}  // namespace

ImportFormat detect_import_format(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && (text[first] == '{' || text[first] == '[')) return ImportFormat::json;
    return ImportFormat::ldif;
}

bool read_import_records(std::string_view text, ImportFormat format, std::vector<ImportRecord> &records,
                         std::vector<ImportProblem> &problems) {
    if (format == ImportFormat::json) read_json_records(text, records, problems);
    else read_ldif_records(text, records, problems);
    if (problems.empty() && records.empty()) problems.push_back({0, "the file holds no entries"});
    return problems.empty();
}
