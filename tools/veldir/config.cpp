#include "config.h"

#include <string.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string_view>

#include "exit_codes.h"
#include "init_string_mask.h"
#include "schema.h"
#include "trusted_file.h"

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view trim(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

bool same_word(std::string_view left, std::string_view right) {
    return left.size() == right.size() && ::strncasecmp(left.data(), right.data(), left.size()) == 0;
}

std::string unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string relative_to(const std::filesystem::path &directory, const std::string &path) {
    if (path.empty() || std::filesystem::path(path).is_absolute()) return path;
    return (directory / path).lexically_normal().string();
}

constexpr ConfigKey kConfigKeys[] = {
    {"driver", "the driver library", "lib/libveldldap64.so.15.5.0 of veldir's own installation",
     "/opt/veldldap/lib/libveldldap64.so.15.5.0",
     [](ConnectionSettings &settings, const std::filesystem::path &directory, const std::string &value) {
         settings.driver = relative_to(directory, value);
         settings.driver_from_file = true;
         return std::optional<std::string>();
     }},
    {"init", "the initialisation string of a server (required); once per server of a replicated directory", "",
     "retry=2 delay=1 starttls ldap://dirhost:389/ou=servers,o=acme????bindname=cn=app,o=acme?0x01...",
     [](ConnectionSettings &settings, const std::filesystem::path &, const std::string &value) {
         settings.inits.push_back(value);
         return std::optional<std::string>();
     },
     "starttls ldap://dirhost2:389/ou=servers,o=acme????bindname=cn=app,o=acme?0x01..."},
    {"ca", "CA certificate file for StartTLS and ldaps:// (session property dsp_tls_ca)", "",
     "/etc/veldldap/ca.pem",
     [](ConnectionSettings &settings, const std::filesystem::path &directory, const std::string &value) {
         settings.ca = relative_to(directory, value);
         return std::optional<std::string>();
     }},
    {"timelimit",
     "seconds to wait for each answer of the server (session property dsp_timelimit); 0: no limit", "30", "30",
     [](ConnectionSettings &settings, const std::filesystem::path &, const std::string &value) {
         const std::optional<CS_INT> seconds = parse_integer(value);
         if (!seconds || *seconds < 0)
             return std::optional<std::string>("timelimit must be a number of seconds (0: no limit)");
         settings.timelimit = *seconds;
         return std::optional<std::string>();
     }},
};

class ConfigReader {
public:
    ConfigReader(std::string path, ConnectionSettings &settings)
        : path_(std::move(path)), settings_(settings),
          directory_(std::filesystem::absolute(path_).parent_path()) {}

    std::optional<Failure> read() {
        TrustedFile trusted;
        if (std::optional<std::string> problem = open_trusted(path_, trusted))
            return tool_failure("read " + path_, "the configuration file " + path_ + " is not used: " + *problem,
                                "give another file with --config FILE, or the string with --init-file FILE",
                                kExitConfiguration);
        std::FILE *file = ::fdopen(trusted.descriptor.get(), "r");
        if (file == nullptr)
            return tool_failure("read " + path_, "cannot read the configuration file " + path_, "", kExitConfiguration);
        trusted.descriptor.release();
        settings_.config_file = path_;
        const std::optional<Failure> failure = read_lines(file);
        std::fclose(file);
        const bool holds_password = std::any_of(settings_.inits.begin(), settings_.inits.end(),
                                                [](const std::string &init) { return !hidden_spans(init).empty(); });
        if (!failure && others_can_read(trusted.status) && holds_password)
            settings_.warnings.push_back(path_ + " holds a password and others can read it: chmod go-r " + path_);
        return failure;
    }

private:
    std::optional<Failure> read_lines(std::FILE *file) {
        char *line = nullptr;
        std::size_t capacity = 0;
        std::optional<Failure> failure;
        for (ssize_t length; !failure && (length = ::getline(&line, &capacity, file)) >= 0;) {
            ++line_number_;
            std::string_view text(line, static_cast<std::size_t>(length));
            if (text.ends_with('\n')) text.remove_suffix(1);
            failure = take_line(trim(text));
        }
        if (line != nullptr) explicit_bzero(line, capacity);  // it may have held the password
        std::free(line);
        return failure;
    }

    std::optional<Failure> take_line(std::string_view line) {
        if (line.empty() || line.front() == '#' || line.front() == ';') return std::nullopt;
        if (line.front() == '[') {
            if (line.back() != ']') return error("a section header must end with ]");
            const std::string_view name = trim(line.substr(1, line.size() - 2));
            settings_.config_sections.emplace_back(name);
            in_directory_ = same_word(name, "DIRECTORY");
            return std::nullopt;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return error("expected key = value");
        if (!in_directory_) return std::nullopt;
        const std::string_view key = trim(line.substr(0, equals));
        const std::string value = unquote(trim(line.substr(equals + 1)));
        return assign(key, value);
    }

    std::optional<Failure> assign(std::string_view name, const std::string &value) {
        const ConfigKey *key = find_config_key(name);
        if (key == nullptr) return error("unknown key \"" + std::string(name) + "\" (known: " + known_keys() + ")");
        if (!seen_.insert(key).second && key->repeated_example.empty())
            return error("\"" + std::string(name) + "\" is given twice");
        if (std::optional<std::string> complaint = key->assign(settings_, directory_, value)) return error(*complaint);
        return std::nullopt;
    }

    static std::string known_keys() {
        std::string known;
        for (const ConfigKey &key : config_keys()) known += (known.empty() ? "" : ", ") + std::string(key.key);
        return known;
    }

    Failure error(const std::string &what) const {
        return tool_failure("read " + path_, path_ + ":" + std::to_string(line_number_) + ": " + what,
                            "see the section on libdsv.cfg in veldir(1)", kExitConfiguration);
    }

    std::string path_;
    ConnectionSettings &settings_;
    std::filesystem::path directory_;
    int line_number_ = 0;
    bool in_directory_ = false;
    std::set<const ConfigKey *> seen_;
};

}  // namespace

std::span<const ConfigKey> config_keys() { return kConfigKeys; }

const ConfigKey *find_config_key(std::string_view name) {
    for (const ConfigKey &key : kConfigKeys)
        if (same_word(key.key, name)) return &key;
    return nullptr;
}

std::vector<std::string> sample_config_file() {
    std::size_t width = 0;
    for (const ConfigKey &key : kConfigKeys) width = std::max(width, key.key.size());
    std::vector<std::string> lines{"# lines beginning with # or ; are comments", "[DIRECTORY]"};
    for (const ConfigKey &key : kConfigKeys) {
        std::string line(key.key);
        line.resize(width + 1, ' ');
        lines.push_back(line + "= " + std::string(key.example));
        if (!key.repeated_example.empty()) lines.push_back(line + "= " + std::string(key.repeated_example));
    }
    return lines;
}

std::optional<Failure> read_config_file(const std::string &path, ConnectionSettings &settings) {
    return ConfigReader(path, settings).read();
}
