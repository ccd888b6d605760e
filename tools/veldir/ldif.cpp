#include "ldif.h"

#include "base64.h"
#include "schema.h"

namespace {

constexpr std::size_t kFoldWidth = 76;

bool safe_as_text(std::string_view value) {
    if (value.empty()) return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ') return false;
    // LDIF lets other control characters pass as text; base64 keeps them off the terminal.
    for (char c : value) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || byte >= 0x80) return false;
    }
    return true;
}

void write_line(std::ostream &out, std::string_view name, std::string_view value) {
    std::string line(name);
    if (safe_as_text(value)) {
        line += ": ";
        line += value;
    } else {
        line += ":: ";
        line += base64_encode(value);
    }
    // Continuation lines begin with one blank, which the reader removes.
    out << line.substr(0, kFoldWidth);
    for (std::size_t at = kFoldWidth; at < line.size(); at += kFoldWidth - 1)
        out << "\n " << line.substr(at, kFoldWidth - 1);
    out << '\n';
}

}  // namespace

void write_ldif_entry(std::ostream &out, const Entry &entry) {
    write_line(out, "dn", entry.dn);
    write_line(out, "objectClass", kServerClassName);
    for (const EntryAttribute &attribute : entry.attributes)
        for (std::size_t v = 0; v < attribute.values.size(); ++v) {
            if (attribute.is_cut(v)) out << kLdifCutMark << " the driver read only the start of the next value\n";
            write_line(out, attribute.name, attribute.values[v]);
        }
    out << '\n';
}
