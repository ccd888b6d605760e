#include "init_string_mask.h"

#include <algorithm>

namespace grammar = veldldap::init_string;

namespace {

// The pieces of `text` that the driver would take as secret: the password,
// and a first piece that is no bind name.
void add_secret_pieces(std::string_view text, std::vector<grammar::Span> &spans) {
    const grammar::Extensions pieces = grammar::split_extensions(text);
    if (!pieces.bind_name.empty() && !pieces.bind_name.of(text).starts_with(grammar::kBindNamePrefix))
        spans.push_back(pieces.bind_name);
    if (!pieces.password.empty()) spans.push_back(pieces.password);
}

}  // namespace

std::vector<grammar::Span> hidden_spans(std::string_view init) {
    const std::string_view copy = grammar::working_copy(init);
    std::vector<grammar::Span> spans;
    add_secret_pieces(grammar::without_line_feed(copy), spans);
    if (copy.size() == init.size()) return spans;

    // The driver's copy ends early: what it would have taken as secret from
    // the whole string is no less secret for being unread.
    add_secret_pieces(grammar::without_line_feed(init), spans);
    std::sort(spans.begin(), spans.end(), [](const auto &a, const auto &b) { return a.begin < b.begin; });
    std::vector<grammar::Span> merged;
    for (const grammar::Span &span : spans) {
        if (!merged.empty() && span.begin <= merged.back().end)
            merged.back().end = std::max(merged.back().end, span.end);
        else
            merged.push_back(span);
    }
    return merged;
}

std::string masked_init_string(std::string_view init) {
    std::string masked;
    std::size_t shown = 0;
    for (const grammar::Span &span : hidden_spans(init)) {
        masked.append(init.substr(shown, span.begin - shown)).append("****");
        shown = span.end;
    }
    return masked.append(init.substr(shown));
}
