#include "password_input.h"

#include <fcntl.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include "file_descriptor.h"

namespace {

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

}  // namespace

PasswordBuffer::~PasswordBuffer() { explicit_bzero(bytes_, sizeof bytes_); }

// One byte at a time, so that no buffer outside `buffer` ever holds the password.
ReadResult read_password_line(int fd, PasswordBuffer &buffer) {
    std::size_t length = 0;
    for (;;) {
        buffer.set_length(length);
        if (length == buffer.capacity()) return ReadResult::too_long;
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

bool read_password_from_terminal(const char *prompt, PasswordBuffer &buffer, std::string &error) {
    const veldldap::FileDescriptor terminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (terminal.get() < 0) {
        error = std::string("cannot open the terminal: ") + std::strerror(errno);
        return false;
    }
    const EchoOff echo_off(terminal.get());
    if (!echo_off.active()) {
        error = "cannot switch off echo on the terminal";
        return false;
    }
    if (!write_all(terminal.get(), prompt)) {
        error = std::string("cannot write to the terminal: ") + std::strerror(errno);
        return false;
    }
    switch (read_password_line(terminal.get(), buffer)) {
    case ReadResult::line: return true;
    case ReadResult::too_long:
        error = "the password is longer than " + std::to_string(VELDLDAP_STORED_PASSWORD_MAX) + " bytes";
        return false;
    case ReadResult::failed: break;
    }
    error = std::string("cannot read the password from the terminal: ") + std::strerror(errno);
    return false;
}
