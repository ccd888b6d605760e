#include "init_source.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::optional<Failure> read_init_file(const std::string &path, ConnectionSettings &settings) {
    const bool from_input = path == "-";
    const FileDescriptor file(from_input ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const std::string name = from_input ? std::string("standard input") : path;
    if (file.get() < 0 || !read_first_line(file.get(), kLongestLine, settings.init))
        return tool_failure("settings", "cannot read the initialisation string from " + name + ": " +
                                            (errno == EFBIG ? "its first line is too long" : std::strerror(errno)),
                            "", kExitConfiguration);
    struct stat status {};
    if (!from_input && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) && others_can_read(status) &&
        has_password(settings.init))
        settings.warnings.push_back(path + " holds a password and others can read it: chmod go-r " + path);
    return std::nullopt;
}

std::string section_list(const std::vector<std::string> &sections) {
    std::string list;
    for (const std::string &section : sections) list += (list.empty() ? "[" : ", [") + section + "]";
    return list;
}

}  // namespace

bool init_string_given(const Invocation &invocation) { return invocation.init || invocation.init_file; }

std::optional<Failure> take_init_string(const Invocation &invocation, ConnectionSettings &settings) {
    if (invocation.init && invocation.init_file) return usage("give the initialisation string once: --init or --init-file");
    const bool import_reads_input = invocation.command == "import" && !invocation.arguments.empty() &&
                                    invocation.arguments.front() == "-";
    if (invocation.init && *invocation.init == "-" && import_reads_input)
        return usage("standard input cannot give both the initialisation string and the entries to import");
    if (invocation.init && *invocation.init == "-") return read_init_file("-", settings);
    if (invocation.init_file) return read_init_file(*invocation.init_file, settings);
    if (!invocation.init) return std::nullopt;
    settings.init = *invocation.init;
    if (has_password(settings.init))
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

bool read_first_line(int fd, std::size_t limit, std::string &line) {
    line.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        const std::string_view chunk(buffer, static_cast<std::size_t>(got));
        const std::size_t end = chunk.find('\n');
        line.append(chunk.substr(0, end));
        explicit_bzero(buffer, sizeof buffer);
        if (line.size() > limit) {
            errno = EFBIG;
            return false;
        }
        if (got == 0 || end != std::string_view::npos) return true;
    }
}
