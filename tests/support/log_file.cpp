#include "support/log_file.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

std::string log_text() {
    std::ifstream file("libveldldap.log", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> log_messages() {
    static const std::regex prefix(R"(--\(line +[0-9]+\)--: )");
    const std::string text = log_text();
    std::vector<std::string> messages;
    auto begin = std::sregex_iterator(text.begin(), text.end(), prefix);
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        const auto start = static_cast<std::size_t>(it->position() + it->length());
        auto next = std::next(it);
        const std::size_t end =
            next == std::sregex_iterator() ? text.size() : static_cast<std::size_t>(next->position());
        messages.push_back(text.substr(start, end - start));
    }
    return messages;
}

std::vector<std::string> log_messages_from(const std::string &marker) {
    std::vector<std::string> messages = log_messages();
    auto first = std::find(messages.begin(), messages.end(), marker);
    return {first, messages.end()};
}

std::vector<std::string> log_messages_after(std::size_t count) {
    std::vector<std::string> messages = log_messages();
    messages.erase(messages.begin(), messages.begin() + static_cast<long>(std::min(count, messages.size())));
    return messages;
}

bool log_contains(const std::string &message) { return log_count(message) > 0; }

int log_count(const std::string &message) {
    const std::vector<std::string> messages = log_messages();
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}
