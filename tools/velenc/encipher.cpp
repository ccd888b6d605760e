// The enciphering command: option handling, reading the password without
// leaving copies of it behind, and the call into the driver's cipher.
#include "encipher.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>


namespace {

// A clear password, wiped when it goes out of scope.  One byte more than a
// storable password, so that a longer line is noticed.
class PasswordBuffer {
public:
    PasswordBuffer() = default;
    ~PasswordBuffer() { explicit_bzero(bytes_, sizeof bytes_); }
    PasswordBuffer(const PasswordBuffer &) = delete;
    PasswordBuffer &operator=(const PasswordBuffer &) = delete;

    char *data() { return bytes_; }
    static constexpr std::size_t size() { return VELDLDAP_STORED_PASSWORD_MAX + 1; }

private:
    char bytes_[VELDLDAP_STORED_PASSWORD_MAX + 1] = {};
};

enum class ReadResult { line, too_long, failed };

// Reads up to the newline or the end of input, one byte at a time, so that no
// buffer outside `buffer` ever holds the password.
ReadResult read_line(int fd, PasswordBuffer &buffer, std::size_t &length) {
    length = 0;
    for (;;) {
        if (length == buffer.size()) return ReadResult::too_long;
        char *const slot = buffer.data() + length;
        const ssize_t got = ::read(fd, slot, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadResult::failed;
        if (got == 0) return ReadResult::line;
        if (*slot == '\n') {
            *slot = '\0';
            return ReadResult::line;
        }
        ++length;
    }
}

bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The terminal settings an interrupting signal must put back before it ends
// the process; otherwise the user's shell is left without echo.
constexpr int kInterruptingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
int g_quiet_terminal = -1;
termios g_terminal_settings;

extern "C" void restore_terminal_and_reraise(int signal_number) {
    ::tcsetattr(g_quiet_terminal, TCSAFLUSH, &g_terminal_settings);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// Echo off for the guard's lifetime.  ECHONL still moves the cursor to the
// next line when the user presses return.
class EchoOff {
public:
    explicit EchoOff(int terminal) : terminal_(terminal) {
        if (::tcgetattr(terminal, &saved_) != 0) return;
        g_quiet_terminal = terminal;
        g_terminal_settings = saved_;
        struct sigaction action {};
        action.sa_handler = restore_terminal_and_reraise;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kInterruptingSignals); ++i)
            ::sigaction(kInterruptingSignals[i], &action, &previous_[i]);
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        active_ = ::tcsetattr(terminal, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (g_quiet_terminal != terminal_) return;
        ::tcsetattr(terminal_, TCSAFLUSH, &saved_);
        for (std::size_t i = 0; i < std::size(kInterruptingSignals); ++i)
            ::sigaction(kInterruptingSignals[i], &previous_[i], nullptr);
        g_quiet_terminal = -1;
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;

    bool active() const { return active_; }

private:
    int terminal_;
    termios saved_{};
    struct sigaction previous_[std::size(kInterruptingSignals)] {};
    bool active_ = false;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

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
int prompt_password(PasswordBuffer &password, std::size_t &length, const Reporter &report) {
    const FileDescriptor terminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (terminal.get() < 0)
        return report.fail(kEncipherExitFailure, "cannot open the terminal: %s", std::strerror(errno));
    const EchoOff echo_off(terminal.get());
    if (!echo_off.active())
        return report.fail(kEncipherExitFailure, "cannot switch off echo on the terminal");
    PasswordBuffer again;
    std::size_t again_length = 0;
    ReadResult result = ReadResult::failed;
    if (write_all(terminal.get(), "Password: ")) result = read_line(terminal.get(), password, length);
    if (result != ReadResult::line) return read_failure(result, "the terminal", report);
    if (write_all(terminal.get(), "Again: ")) result = read_line(terminal.get(), again, again_length);
    else result = ReadResult::failed;
    if (result != ReadResult::line) return read_failure(result, "the terminal", report);
    if (again_length != length || std::memcmp(again.data(), password.data(), length) != 0)
        return report.fail(kEncipherExitFailure, "the two passwords differ");
    return kEncipherExitSuccess;
}

void print_usage(const char *program, std::FILE *out) {
    std::fprintf(out,
                 "Usage: %s [--stdin]\n"
                 "Enciphers a bind password for the driver's initialisation string and\n"
                 "prints the text to give instead of the clear password (\"0x01\" and 66\n"
                 "hexadecimal digits).  Each run gives a different text.\n"
                 "\n"
                 "Without options the password is asked for twice on the terminal, without\n"
                 "echo.\n"
                 "  --stdin   read the password as one line of standard input; the newline\n"
                 "            at its end is dropped, empty input gives the empty password\n"
                 "  --help    show this text\n"
                 "\n"
                 "The password is never taken from the command line.  It has at most %d\n"
                 "bytes; beyond %d bytes, each byte must repeat the byte %d places before it.\n"
                 "Exit status: 0 enciphered, %d the password cannot be stored, %d other\n"
                 "errors.\n",
                 program, VELDLDAP_STORED_PASSWORD_MAX, VELDLDAP_STORED_PASSWORD_BLOCK,
                 VELDLDAP_STORED_PASSWORD_BLOCK, kEncipherExitNotStorable, kEncipherExitFailure);
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
        return "a password longer than 32 bytes can only be stored when each byte after "
               "the 32nd repeats the byte 32 places before it";
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
    for (const std::string_view argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            print_usage(program, out);
            return kEncipherExitSuccess;
        }
        if (argument == "--stdin") {
            from_stdin = true;
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
    std::size_t length = 0;
    if (from_stdin) {
        const ReadResult result = read_line(STDIN_FILENO, password, length);
        if (result != ReadResult::line) return read_failure(result, "standard input", report);
    } else {
        if (!::isatty(STDIN_FILENO))
            return report.fail(kEncipherExitFailure,
                               "standard input is not a terminal: give --stdin to read the "
                               "password from it");
        const int status = prompt_password(password, length, report);
        if (status != kEncipherExitSuccess) return status;
    }

    char text[VELDLDAP_STORED_PASSWORD_LENGTH + 1];
    const EncipherOutcome outcome = encipher_password({password.data(), length}, text);
    if (outcome == EncipherOutcome::no_randomness)
        return report.fail(kEncipherExitFailure, "%s", encipher_outcome_message(outcome));
    if (outcome != EncipherOutcome::enciphered)
        return report.fail(kEncipherExitNotStorable, "%s", encipher_outcome_message(outcome));
    if (std::fprintf(out, "%s\n", text) < 0 || std::fflush(out) != 0)
        return report.fail(kEncipherExitFailure, "cannot write the enciphered text: %s",
                           std::strerror(errno));
    return kEncipherExitSuccess;
}
