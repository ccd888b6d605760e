#include "import_records.h"

#include <span>

#include "json_reader.h"
#include "ldif_reader.h"
#include "schema.h"

namespace {

// `what`: "velmorAddress" or "velmorAddress value 2".
std::string cut_message(const std::string &what, std::string_view how_to_keep) {
    return what + " was cut by the driver when it was read: the directory holds a longer value that cannot be "
                  "copied; " + std::string(how_to_keep) + " to import the shortened value";
}

// What every entry needs at the end: a name among its velmorServername
// values, and every problem labelled with the entry.
void finish_entry(ImportEntry &entry, std::vector<ImportProblem> &problems, std::size_t first_problem,
                  int naming_line, int naming_column) {
    if (entry.name)
        if (std::optional<std::string> error = entry.object->name_entry(entry.name->value))
            problems.push_back({naming_line, naming_column, {}, *error});
    for (std::size_t i = first_problem; i < problems.size(); ++i) problems[i].entry = entry.shown();
    entry.ok = problems.size() == first_problem;
}

class LdifImportReader : public ImportReader {
public:
    LdifImportReader(std::istream &in, const NamingRules &rules) : reader_(in), rules_(rules) {}

    bool next(ImportEntry &entry, std::vector<ImportProblem> &problems) override {
        LdifRecord record;
        if (!reader_.next(record)) return false;
        const std::size_t first_problem = problems.size();
        entry = ImportEntry{record.line, std::nullopt, std::make_unique<ObjectBuilder>(), false};
        for (const LdifProblem &problem : record.problems) problems.push_back({problem.line, 0, {}, problem.message});
        if (record.dn.empty() && !record.problems.empty()) return finish(entry, problems, first_problem, record.line);
        std::string error;
        entry.name = entry_name_from_dn(record.dn, rules_.new_base, error);
        if (!entry.name) problems.push_back({record.line, 0, {}, error});
        int naming_line = record.line;
        for (const LdifAttribute &attribute : record.attributes) {
            if (attribute.cut) {
                problems.push_back({attribute.line, 0, {}, cut_message(attribute.name, "remove the comment above it")});
                continue;
            }
            if (same_attribute(attribute.name, kNamingAttribute) && naming_line == record.line) naming_line = attribute.line;
            if (std::optional<std::string> add_error = entry.object->add(attribute.name, attribute.value))
                problems.push_back({attribute.line, 0, {}, *add_error});
        }
        return finish(entry, problems, first_problem, naming_line);
    }

private:
    static bool same_attribute(std::string_view name, std::string_view other) {
        return find_attribute(name) != nullptr && find_attribute(name) == find_attribute(other);
    }

    static bool finish(ImportEntry &entry, std::vector<ImportProblem> &problems, std::size_t first_problem, int line) {
        finish_entry(entry, problems, first_problem, line, 0);
        return true;
    }

    LdifReader reader_;
    NamingRules rules_;
};

class JsonImportReader : public ImportReader {
public:
    JsonImportReader(std::istream &in, const NamingRules &rules) : reader_(in), rules_(rules) {}

    bool next(ImportEntry &entry, std::vector<ImportProblem> &problems) override {
        JsonValue value;
        const bool more = reader_.next(value);
        for (const JsonError &problem : reader_.take_problems())
            problems.push_back({problem.line, problem.column, {}, problem.message});
        if (!more) {
            if (std::optional<JsonError> error = reader_.error())
                problems.push_back({error->line, error->column, {}, error->message});
            return false;
        }
        const std::size_t first_problem = problems.size();
        entry = ImportEntry{value.line, std::nullopt, std::make_unique<ObjectBuilder>(), false};
        if (value.kind != JsonValue::Kind::object) {
            problems.push_back({value.line, value.column, {},
                                "an entry must be an object, not " + std::string(json_kind_name(value.kind))});
            finish_entry(entry, problems, first_problem, value.line, value.column);
            return true;
        }
        check_members(value, problems);
        name_entry(value, entry, problems);
        if (const JsonValue *attributes = value.member("attributes")) read_attributes(*attributes, entry, problems);
        if (const JsonValue *cut = value.member("cut")) read_cut_marks(*cut, problems);
        const JsonValue *naming = value.member("attributes");
        finish_entry(entry, problems, first_problem, naming ? naming->line : value.line,
                     naming ? naming->column : value.column);
        return true;
    }

private:
    static void check_members(const JsonValue &value, std::vector<ImportProblem> &problems) {
        static constexpr std::string_view kMembers[] = {"dn", "name", "attributes", "cut"};
        for (const auto &[member, item] : value.members) {
            bool known = false;
            for (std::string_view name : kMembers) known = known || member == name;
            if (!known)
                problems.push_back({item.line, item.column, {},
                                    "unknown member \"" + member + "\" (an entry has dn or name, and attributes)"});
        }
    }

    void name_entry(const JsonValue &value, ImportEntry &entry, std::vector<ImportProblem> &problems) const {
        const JsonValue *dn = value.member("dn");
        const JsonValue *name = value.member("name");
        for (const JsonValue *given : {dn, name})
            if (given != nullptr && given->kind != JsonValue::Kind::string) {
                problems.push_back({given->line, given->column, {}, "\"dn\" and \"name\" must be strings"});
                return;
            }
        if (dn == nullptr && name == nullptr) {
            problems.push_back({value.line, value.column, {}, "an entry needs \"dn\" or \"name\" (a server name)"});
            return;
        }
        std::string error;
        const JsonValue &where = dn != nullptr ? *dn : *name;
        if (dn != nullptr) {
            entry.name = entry_name_from_dn(dn->text, rules_.new_base, error);
        } else {
            const std::optional<std::string> &base = rules_.new_base ? rules_.new_base : rules_.session_base;
            entry.name = entry_name_below(name->text, base.value_or(""), error);
        }
        if (!entry.name) {
            problems.push_back({where.line, where.column, {}, error});
            return;
        }
        if (name != nullptr && name->text != entry.name->value)
            problems.push_back({name->line, name->column, {},
                                "\"name\" is \"" + name->text + "\", but the DN names \"" + entry.name->value + "\""});
    }

    // One JSON value of an attribute: a string, or an integer number.
    static bool value_text(const JsonValue &value, std::string &text) {
        const bool integer =
            value.kind == JsonValue::Kind::number && value.text.find_first_of(".eE") == std::string::npos;
        if (value.kind != JsonValue::Kind::string && !integer) return false;
        text = value.text;
        return true;
    }

    static void read_attributes(const JsonValue &attributes, ImportEntry &entry, std::vector<ImportProblem> &problems) {
        if (attributes.kind != JsonValue::Kind::object) {
            problems.push_back({attributes.line, attributes.column, {},
                                "\"attributes\" must be an object of attribute names and values"});
            return;
        }
        for (const auto &[attribute, values] : attributes.members) {
            const std::span<const JsonValue> list =
                values.kind == JsonValue::Kind::array ? std::span<const JsonValue>(values.items) : std::span(&values, 1);
            for (const JsonValue &value : list) {
                std::string text;
                if (!value_text(value, text)) {
                    problems.push_back({value.line, value.column, {},
                                        attribute + ": a value must be a string or an integer, not " +
                                            std::string(json_kind_name(value.kind))});
                    continue;
                }
                if (std::optional<std::string> error = entry.object->add(attribute, text))
                    problems.push_back({value.line, value.column, {}, *error});
            }
        }
    }

    static void read_cut_marks(const JsonValue &cut, std::vector<ImportProblem> &problems) {
        if (cut.kind != JsonValue::Kind::object) {
            problems.push_back({cut.line, cut.column, {}, "\"cut\" must be an object of attribute names and value positions"});
            return;
        }
        for (const auto &[attribute, positions] : cut.members) {
            const std::span<const JsonValue> list = positions.kind == JsonValue::Kind::array
                                                        ? std::span<const JsonValue>(positions.items)
                                                        : std::span(&positions, 1);
            for (const JsonValue &position : list) {
                const std::optional<CS_INT> index = parse_integer(position.text);
                const std::string what = index && *index >= 0 ? attribute + " value " + std::to_string(*index + 1) : attribute;
                problems.push_back({position.line, position.column, {}, cut_message(what, "remove it from \"cut\"")});
            }
        }
    }

    JsonEntryReader reader_;
    NamingRules rules_;
};

}  // namespace

std::unique_ptr<ImportReader> ImportReader::open(std::istream &in, ImportFormat format, const NamingRules &rules) {
    if (format == ImportFormat::json) return std::make_unique<JsonImportReader>(in, rules);
    return std::make_unique<LdifImportReader>(in, rules);
}
