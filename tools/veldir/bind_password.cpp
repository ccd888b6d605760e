#include "bind_password.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "encipher.h"
#include "exit_codes.h"
#include "init_string_check.h"
#include "password_input.h"
#include "trusted_file.h"

namespace grammar = veldldap::init_string;

namespace {

Failure password_failure(const std::string &message, int exit_code = kExitConfiguration) {
    return tool_failure("settings", message, "see veldir help config", exit_code);
}

// The text that goes after bindname=...?: the enciphered form when the
// password can be stored, else the password itself when the driver would
// read it back unchanged.
std::optional<std::string> password_text(std::string_view password, std::string &text) {
    if (password.empty()) return "the password is empty";
    char stored[VELDLDAP_STORED_PASSWORD_LENGTH + 1];
    if (encipher_password(password, stored) == EncipherOutcome::enciphered) {
        text.assign(stored);
        explicit_bzero(stored, sizeof stored);
        return std::nullopt;
    }
    if (password.find('?') != std::string_view::npos)
        return "the password contains ?, which ends a piece of the string, and it is too long to be enciphered";
    if (password.starts_with("0x"))
        return "the password begins with 0x, which the driver takes for the enciphered form, and it is too long to "
               "be enciphered";
    if (password.find('\0') != std::string_view::npos) return "the password contains a NUL byte";
    text.assign(password);
    return std::nullopt;
}

std::optional<Failure> read_password(const Invocation &invocation, PasswordBuffer &password) {
    if (invocation.ask_password) {
        std::string error;
        if (!read_password_from_terminal("Bind password: ", password, error)) return password_failure(error);
        return std::nullopt;
    }
    const std::string &path = *invocation.password_file;
    const veldldap::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return password_failure("cannot read the password file " + path + ": " + std::strerror(errno));
    const ReadResult result = read_password_line(file.get(), password);
    if (result == ReadResult::too_long) return password_failure("the first line of " + path + " is too long for a password");
    if (result == ReadResult::failed)
        return password_failure("cannot read the password file " + path + ": " + std::strerror(errno));
    return std::nullopt;
}

}  // namespace

std::optional<std::string> insert_password(std::string &init, std::string_view password) {
    const grammar::Layout layout = init_layout(init);
    const grammar::Extensions &pieces = layout.extensions;
    if (!pieces.bind_name.of(layout.text).starts_with(grammar::kBindNamePrefix))
        return std::string("the initialisation string gives no bind DN (????bindname=DN after the URL), which a "
                           "password needs");
    if (!pieces.password.empty()) return std::string("the initialisation string holds a password already");
    std::string text;
    if (std::optional<std::string> problem = password_text(password, text)) return problem;
    // Only "?"s may follow the bind name: the password goes after them.
    const std::size_t after = pieces.bind_name.end;
    const bool has_separator = after < layout.text.size();
    std::string result = init.substr(0, layout.text.size()) + (has_separator ? "" : "?") + text +
                         init.substr(layout.text.size());
    explicit_bzero(text.data(), text.size());
    if (grammar::working_copy(result).size() != result.size())
        return std::string("with the password the initialisation string would be longer than the 512 characters "
                           "the driver reads");
    init.swap(result);
    explicit_bzero(result.data(), result.size());
    return std::nullopt;
}

std::optional<Failure> add_bind_password(const Invocation &invocation, ConnectionSettings &settings) {
    if (!invocation.ask_password && !invocation.password_file) return std::nullopt;
    if (invocation.ask_password && invocation.password_file)
        return password_failure("give the password once: --password-file or -W", kExitUsage);
    PasswordBuffer password;
    if (std::optional<Failure> failure = read_password(invocation, password)) return failure;
    // The replicas of a directory share its accounts: one password for every server.
    for (std::size_t i = 0; i < settings.inits.size(); ++i) {
        std::optional<std::string> problem = insert_password(settings.inits[i], password.view());
        if (!problem) continue;
        if (settings.inits.size() > 1) *problem = "server " + std::to_string(i + 1) + ": " + *problem;
        return password_failure(*problem);
    }
    if (invocation.password_file) {
        struct stat status {};
        if (::stat(invocation.password_file->c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            others_can_read(status))
            settings.warnings.push_back("others can read the password file " + *invocation.password_file +
                                        ": chmod go-r " + *invocation.password_file);
    }
    return std::nullopt;
}
