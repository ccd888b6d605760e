#include "doc_parts.h"

#include <cctype>
#include <sstream>

#include "command_table.h"
#include "config.h"
#include "exit_codes.h"
#include "options.h"
#include "text_layout.h"

namespace {

constexpr std::size_t kSourceWidth = 78;

// --- roff -------------------------------------------------------------------

// Minus signs where the reader types them (options, "-" for standard input),
// so that text copied from the page works; hyphens inside words stay hyphens.
std::string roff_escape(std::string_view text) {
    std::string escaped;
    bool in_option = false;
    char previous = ' ';
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) in_option = false;
        if (c == '-' && (in_option || std::string_view(" ([|\"'=").find(previous) != std::string_view::npos)) {
            in_option = true;
            escaped += "\\-";
        } else if (c == '\\') {
            escaped += "\\e";
        } else {
            escaped += c;
        }
        previous = c;
    }
    return escaped;
}

// A text line must not be taken for a request.
std::string roff_line(std::string_view text) {
    std::string line = roff_escape(text);
    if (!line.empty() && (line.front() == '.' || line.front() == '\'')) line.insert(0, "\\&");
    return line;
}

// Names and literal words in bold, the PLACEHOLDERS in italics.
std::string roff_synopsis(std::string_view synopsis) {
    std::string result;
    std::size_t i = 0;
    while (i < synopsis.size()) {
        const auto run = [&](auto belongs) {
            std::size_t end = i;
            while (end < synopsis.size() && belongs(synopsis[end])) ++end;
            const std::string_view word = synopsis.substr(i, end - i);
            i = end;
            return roff_escape(word);
        };
        const unsigned char c = static_cast<unsigned char>(synopsis[i]);
        if (std::isupper(c))
            result += "\\fI" + run([](char x) { return std::isupper(static_cast<unsigned char>(x)) || x == '_'; }) +
                      "\\fR";
        else if (std::islower(c) || std::isdigit(c) || c == '-')
            result += "\\fB" + run([](char x) {
                          return std::islower(static_cast<unsigned char>(x)) ||
                                 std::isdigit(static_cast<unsigned char>(x)) || x == '-';
                      }) + "\\fR";
        else
            result += roff_escape(synopsis.substr(i++, 1));
    }
    return result;
}

// Paragraphs inside a .TP item continue its indent with .IP; examples stay unfilled.
void roff_paragraphs(std::ostream &out, std::string_view text, std::string_view paragraph_request) {
    bool unfilled = false;
    for (const TextLine &line : fill(text, kSourceWidth)) {
        if (unfilled != (line.kind == TextLine::preformatted)) out << (unfilled ? ".fi\n" : ".nf\n");
        unfilled = line.kind == TextLine::preformatted;
        if (line.kind == TextLine::paragraph_break)
            out << paragraph_request << '\n';
        else
            out << roff_line(line.text) << '\n';
    }
    if (unfilled) out << ".fi\n";
}

void roff_item(std::ostream &out, std::string_view tag, std::string_view text) {
    out << ".TP\n" << tag << '\n';
    roff_paragraphs(out, text, ".IP");
}

void roff_commands(std::ostream &out) {
    for (const Command &command : commands()) {
        if (command.hidden) continue;
        roff_item(out, roff_synopsis(command.synopsis),
                  as_sentence(command.summary) + "\n" + std::string(command.details));
    }
}

void roff_options(std::ostream &out) {
    for (const OptionGroupTitle &group : kOptionGroups) {
        out << ".SS " << group.title << '\n';
        for (const Option &option : options())
            if (option.group == group.group)
                roff_item(out, roff_synopsis(option_label(option)), as_sentence(option_help(option)));
    }
}

void roff_exit_codes(std::ostream &out) {
    for (const ExitCodeMeaning &exit_code : kExitCodeMeanings)
        roff_item(out, ".B " + std::to_string(exit_code.code), as_sentence(exit_code.meaning));
    out << ".PP\n";
    roff_paragraphs(out, kExitCodeExceptions, ".PP");
}

std::string config_key_note(const ConfigKey &key) {
    std::string note;
    if (!key.default_value.empty()) note += "  Default: " + std::string(key.default_value) + ".";
    if (const Option *option = option_for_setting(key.key)) note += "  Option: " + std::string(option->name) + ".";
    return note;
}

void roff_config(std::ostream &out) {
    out << ".PP\n.RS\n.nf\n";
    for (const std::string &line : sample_config_file()) out << roff_line(line) << '\n';
    out << ".fi\n.RE\n";
    for (const ConfigKey &key : config_keys())
        roff_item(out, ".B " + std::string(key.key), as_sentence(key.meaning) + config_key_note(key));
    out << ".PP\n";
    roff_paragraphs(out, kConfigFileRules, ".PP");
}

std::vector<std::string> all_examples() {
    std::vector<std::pair<std::string, std::string>> examples;
    for (const Command &command : commands()) {
        if (command.hidden) continue;
        for (auto &example : examples_of(command)) examples.push_back(std::move(example));
    }
    return commented_lines(examples);
}

void roff_examples(std::ostream &out) {
    out << ".nf\n";
    for (const std::string &line : all_examples()) out << roff_line(line) << '\n';
    out << ".fi\n";
}

// --- Markdown ---------------------------------------------------------------

std::string markdown_cell(std::string_view text) {
    std::string cell;
    for (char c : text) cell += c == '|' ? std::string("\\|") : std::string(1, c);
    return cell.empty() ? "—" : cell;
}

void markdown_paragraphs(std::ostream &out, std::string_view text) {
    for (const TextLine &line : fill(text, kSourceWidth)) {
        // A line that begins with one of these would start a heading, quote or list.
        if (!line.text.empty() && std::string_view("#>-+*").find(line.text.front()) != std::string_view::npos)
            out << '\\';
        out << line.text << '\n';
    }
}

void markdown_exit_codes(std::ostream &out) {
    out << "| Code | Meaning |\n|---|---|\n";
    for (const ExitCodeMeaning &exit_code : kExitCodeMeanings)
        out << "| " << exit_code.code << " | " << markdown_cell(exit_code.meaning) << " |\n";
    out << '\n';
    markdown_paragraphs(out, as_sentence(kExitCodeExceptions));
}

void markdown_config(std::ostream &out) {
    out << "```ini\n";
    for (const std::string &line : sample_config_file()) out << line << '\n';
    out << "```\n\n| Key | Meaning | Default | Option |\n|---|---|---|---|\n";
    for (const ConfigKey &key : config_keys()) {
        const Option *option = option_for_setting(key.key);
        out << "| `" << key.key << "` | " << markdown_cell(key.meaning) << " | "
            << markdown_cell(key.default_value) << " | "
            << (option ? "`" + std::string(option->name) + "`" : markdown_cell("")) << " |\n";
    }
    out << '\n';
    markdown_paragraphs(out, kConfigFileRules);
}

void markdown_examples(std::ostream &out) {
    out << "```sh\n";
    for (const std::string &line : all_examples()) out << line << '\n';
    out << "```\n";
}

struct Part {
    std::string_view name;
    DocFormat format;
    void (*write)(std::ostream &out);
};

constexpr Part kParts[] = {
    {"commands", DocFormat::roff, roff_commands},        {"options", DocFormat::roff, roff_options},
    {"exit-codes", DocFormat::roff, roff_exit_codes},    {"config", DocFormat::roff, roff_config},
    {"examples", DocFormat::roff, roff_examples},        {"exit-codes", DocFormat::markdown, markdown_exit_codes},
    {"config", DocFormat::markdown, markdown_config},    {"examples", DocFormat::markdown, markdown_examples},
};

}  // namespace

std::optional<std::string> generated_part(std::string_view name, DocFormat format) {
    for (const Part &part : kParts) {
        if (part.name != name || part.format != format) continue;
        std::ostringstream text;
        part.write(text);
        return text.str();
    }
    return std::nullopt;
}
