// The enciphering command: option handling, reading the password without
// leaving copies of it behind, and the call into the driver's cipher.
#include "encipher.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

#include "password_input.h"

namespace {

class Reporter {
public:
    Reporter(const char *program, std::FILE *err) : program_(program), err_(err) {}

    __attribute__((format(printf, 3, 4))) int fail(int exit_code, const char *format, ...) const {
        std::fprintf(err_, "%s: ", program_);
        va_list arguments;
        va_start(arguments, format);
        std::vfprintf(err_, format, arguments);
        va_end(arguments);
        std::fputc('\n', err_);
        return exit_code;
    }

private:
    const char *program_;
    std::FILE *err_;
};

int read_failure(ReadResult result, const char *source, const Reporter &report) {
    if (result == ReadResult::too_long)
        return report.fail(kEncipherExitNotStorable, "%s",
                           encipher_outcome_message(EncipherOutcome::too_long));
    return report.fail(kEncipherExitFailure, "cannot read the password from %s: %s", source,
                       std::strerror(errno));
}

// Asks twice, since a mistyped password would only show at the next bind.
int prompt_password(PasswordBuffer &password, const Reporter &report) {
    PasswordBuffer again;
    std::string error;
    if (!read_password_from_terminal("Password: ", password, error) ||
        !read_password_from_terminal("Again: ", again, error))
        return report.fail(kEncipherExitFailure, "%s", error.c_str());
    if (again.view() != password.view()) return report.fail(kEncipherExitFailure, "the two passwords differ");
    return kEncipherExitSuccess;
}

void print_usage(const char *program, std::FILE *out) {
    std::fprintf(out,
                 "Usage: %s [--stdin] [--allow-empty]\n"
                 "Enciphers a bind password for the driver's initialisation string and\n"
                 "prints the text to give instead of the clear password (\"0x01\" and 66\n"
                 "hexadecimal digits).  Each run gives a different text.\n"
                 "\n"
                 "Without options the password is asked for twice on the terminal, without\n"
                 "echo.\n"
                 "  --stdin        read the password as one line of standard input; the\n"
                 "                 newline at its end is dropped\n"
                 "  --allow-empty  encipher the empty password (otherwise refused, since\n"
                 "                 empty input is more often a mistake than a password)\n"
                 "  --help         show this text\n"
                 "\n"
                 "The password is never taken from the command line.  The stored form holds\n"
                 "%d enciphered bytes and the length, and the driver rebuilds a longer\n"
                 "password by repeating those %d bytes: so a password of more than %d bytes\n"
                 "can be stored only when each byte after the first %d repeats the byte %d\n"
                 "places before it, and never one of more than %d bytes.  Give a longer\n"
                 "password in clear, with veldir --password-file or -W.\n"
                 "\n"
                 "The enciphered form is no secret: anyone who has the driver library can\n"
                 "turn it back into the password, and it binds as it is.  It keeps the\n"
                 "password from being read at a glance; the permissions of the file that\n"
                 "holds it are the protection.\n"
                 "\n"
                 "Exit status: 0 enciphered, %d the password cannot be stored, %d other\n"
                 "errors.\n",
                 program, VELDLDAP_STORED_PASSWORD_BLOCK, VELDLDAP_STORED_PASSWORD_BLOCK,
                 VELDLDAP_STORED_PASSWORD_BLOCK, VELDLDAP_STORED_PASSWORD_BLOCK, VELDLDAP_STORED_PASSWORD_BLOCK,
                 VELDLDAP_STORED_PASSWORD_MAX, kEncipherExitNotStorable, kEncipherExitFailure);
}

}  // namespace

EncipherOutcome encipher_password(std::string_view password,
                                  char (&text)[VELDLDAP_STORED_PASSWORD_LENGTH + 1]) {
    if (password.size() > VELDLDAP_STORED_PASSWORD_MAX) return EncipherOutcome::too_long;
    // The driver takes the decoded password as a terminated text.
    if (password.find('\0') != std::string_view::npos) return EncipherOutcome::contains_nul;
    const int length = static_cast<int>(password.size());
    if (veldldap_password_storable(password.data(), length) != CS_TRUE) return EncipherOutcome::not_cyclic;
    if (veldldap_encipher_password(password.data(), length, text) != CS_SUCCEED)
        return EncipherOutcome::no_randomness;
    return EncipherOutcome::enciphered;
}

const char *encipher_outcome_message(EncipherOutcome outcome) {
    switch (outcome) {
    case EncipherOutcome::enciphered:
        return "enciphered";
    case EncipherOutcome::too_long:
        return "the password is too long: at most 255 bytes can be stored";
    case EncipherOutcome::not_cyclic:
        return "a password longer than 32 bytes cannot be stored: the stored form holds 32 enciphered "
               "bytes, and the driver rebuilds a longer password by repeating them, so only a password "
               "whose every byte after the 32nd repeats the byte 32 places before it comes back intact; "
               "give this one in clear (veldir --password-file FILE or -W)";
    case EncipherOutcome::empty:
        return "the password is empty, and an empty password binds anonymously: give --allow-empty if "
               "that is what you want";
    case EncipherOutcome::contains_nul:
        return "the password contains a NUL byte, which the driver cannot pass on";
    case EncipherOutcome::no_randomness:
        return "no random bytes available to encipher with";
    }
    return "unknown failure";
}

int encipher_command(const char *program, std::span<char *const> arguments, std::FILE *out,
                     std::FILE *err) {
    const Reporter report(program, err);
    bool from_stdin = false;
    bool allow_empty = false;
    for (const std::string_view argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            print_usage(program, out);
            return kEncipherExitSuccess;
        }
        if (argument == "--stdin" || argument == "--allow-empty") {
            (argument == "--stdin" ? from_stdin : allow_empty) = true;
            continue;
        }
        if (argument.starts_with("-"))
            return report.fail(kEncipherExitFailure, "unknown option \"%.*s\" (see --help)",
                               static_cast<int>(argument.size()), argument.data());
        return report.fail(kEncipherExitFailure,
                           "the password is never taken from the command line: type it at the "
                           "prompt or give --stdin");
    }

    PasswordBuffer password;
    if (from_stdin) {
        const ReadResult result = read_password_line(STDIN_FILENO, password);
        if (result != ReadResult::line) return read_failure(result, "standard input", report);
    } else {
        if (!::isatty(STDIN_FILENO))
            return report.fail(kEncipherExitFailure,
                               "standard input is not a terminal: give --stdin to read the "
                               "password from it");
        const int status = prompt_password(password, report);
        if (status != kEncipherExitSuccess) return status;
    }
    if (password.length() == 0 && !allow_empty)
        return report.fail(kEncipherExitFailure, "%s", encipher_outcome_message(EncipherOutcome::empty));

    char text[VELDLDAP_STORED_PASSWORD_LENGTH + 1];
    const EncipherOutcome outcome = encipher_password(password.view(), text);
    if (outcome == EncipherOutcome::no_randomness)
        return report.fail(kEncipherExitFailure, "%s", encipher_outcome_message(outcome));
    if (outcome != EncipherOutcome::enciphered)
        return report.fail(kEncipherExitNotStorable, "%s", encipher_outcome_message(outcome));
    if (std::fprintf(out, "%s\n", text) < 0 || std::fflush(out) != 0)
        return report.fail(kEncipherExitFailure, "cannot write the enciphered text: %s",
                           std::strerror(errno));
    return kEncipherExitSuccess;
}
