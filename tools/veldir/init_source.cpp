#include "init_source.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "exit_codes.h"
#include "init_string_check.h"
#include "trusted_file.h"

namespace {

// Far beyond the 512 characters the driver reads, so that a longer string
// is still seen whole (and masked whole).
constexpr std::size_t kLongestLine = 64 * 1024;

Failure usage(const std::string &message) {
    return tool_failure("settings", message, "see veldir help config", kExitUsage);
}

// Every byte read is wiped: the strings may hold passwords.
std::optional<Failure> read_init_file(const std::string &path, ConnectionSettings &settings) {
    const bool from_input = path == "-";
    const veldldap::FileDescriptor file(from_input ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const std::string name = from_input ? std::string("standard input") : path;
    std::vector<std::string> lines;
    if (file.get() < 0 || !read_init_lines(file.get(), kLongestLine, lines))
        return tool_failure("settings", "cannot read the initialisation string from " + name + ": " +
                                            (errno == EFBIG ? "a line is too long" : std::strerror(errno)),
                            "", kExitConfiguration);
    struct stat status {};
    const bool holds_password = std::any_of(lines.begin(), lines.end(), has_password);
    if (!from_input && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) && others_can_read(status) &&
        holds_password)
        settings.warnings.push_back(path + " holds a password and others can read it: chmod go-r " + path);
    for (std::string &line : lines) settings.inits.push_back(std::move(line));
    return std::nullopt;
}

bool is_init_line(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    return first != std::string_view::npos && line[first] != '#';
}

std::string section_list(const std::vector<std::string> &sections) {
    std::string list;
    for (const std::string &section : sections) list += (list.empty() ? "[" : ", [") + section + "]";
    return list;
}

}  // namespace

bool init_string_given(const Invocation &invocation) { return !invocation.inits.empty() || invocation.init_file; }

std::optional<Failure> take_init_string(const Invocation &invocation, ConnectionSettings &settings) {
    if (!invocation.inits.empty() && invocation.init_file)
        return usage("give the initialisation strings one way: --init or --init-file");
    const auto from_input = std::count(invocation.inits.begin(), invocation.inits.end(), "-");
    const bool import_reads_input = invocation.command == "import" && !invocation.arguments.empty() &&
                                    invocation.arguments.front() == "-";
    if (from_input > 1) return usage("--init - reads standard input, which can be read once");
    if (from_input > 0 && import_reads_input)
        return usage("standard input cannot give both the initialisation string and the entries to import");
    if (invocation.init_file) {
        settings.inits.clear();
        return read_init_file(*invocation.init_file, settings);
    }
    if (invocation.inits.empty()) return std::nullopt;
    settings.inits.clear();
    bool password_shown = false;
    for (const std::string &init : invocation.inits) {
        if (init == "-") {
            if (std::optional<Failure> failure = read_init_file("-", settings)) return failure;
            continue;
        }
        settings.inits.push_back(init);
        password_shown |= has_password(init);
    }
    if (password_shown)
        settings.warnings.push_back("the password given with --init shows in the process list to every local "
                                    "user: give it with --password-file FILE or -W, or the string with --init-file "
                                    "FILE");
    return std::nullopt;
}

Failure no_init_string(const Invocation &invocation, const ConnectionSettings &settings) {
    const std::string hint = "give it with --init-file FILE, --init STRING, or as init = in the [DIRECTORY] "
                             "section of libdsv.cfg (see veldir help config)";
    if (init_string_given(invocation))
        return tool_failure("settings", "the initialisation string given is empty", hint, kExitConfiguration);
    if (settings.config_file.empty())
        return tool_failure("settings",
                            "no initialisation string: no --init or --init-file, and no " +
                                (std::filesystem::current_path() / kDefaultConfigFile).string(),
                            hint, kExitConfiguration);
    bool has_directory = false;
    for (const std::string &section : settings.config_sections)
        has_directory |= ::strcasecmp(section.c_str(), "DIRECTORY") == 0;
    std::string where;
    if (settings.config_sections.empty())
        where = settings.config_file + " has no section: its keys count only after a line [DIRECTORY]";
    else if (!has_directory)
        where = settings.config_file + " has no [DIRECTORY] section (it has " +
                section_list(settings.config_sections) + ")";
    else
        where = "the [DIRECTORY] section of " + settings.config_file + " has no init =";
    return tool_failure("settings", "no initialisation string: " + where, hint, kExitConfiguration);
}

bool read_init_lines(int fd, std::size_t limit, std::vector<std::string> &lines) {
    std::string line;
    char buffer[4096];
    const auto take_line = [&] {
        if (is_init_line(line)) lines.push_back(line);
        explicit_bzero(line.data(), line.size());
        line.clear();
    };
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        for (std::string_view chunk(buffer, static_cast<std::size_t>(got)); !chunk.empty();) {
            const std::size_t end = chunk.find('\n');
            line.append(chunk.substr(0, end));
            if (line.size() > limit) {
                explicit_bzero(buffer, sizeof buffer);
                explicit_bzero(line.data(), line.size());
                errno = EFBIG;
                return false;
            }
            if (end == std::string_view::npos) break;
            take_line();
            chunk.remove_prefix(end + 1);
        }
        explicit_bzero(buffer, sizeof buffer);
    }
    take_line();
    return true;
}
