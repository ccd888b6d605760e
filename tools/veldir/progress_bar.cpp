#include "progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

std::size_t terminal_columns(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

ProgressBar::ProgressBar(std::ostream &out, std::size_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled && total > 0),
      width_(enabled ? terminal_columns(STDERR_FILENO) : 80) {}

void ProgressBar::show(std::size_t done, const std::string &label) {
    if (!enabled_) return;
    const std::string count = std::to_string(done) + "/" + std::to_string(total_);
    // Bar, count and label share the line; the bar takes about a third of it.
    const std::size_t bar = std::clamp<std::size_t>(width_ / 3, 10, 40);
    const std::size_t filled = total_ == 0 ? bar : bar * std::min(done, total_) / total_;
    std::string line = "[" + std::string(filled, '#') + std::string(bar - filled, '-') + "]  " + count + "  " + label;
    if (line.size() >= width_) line.resize(width_ - 1);
    line.resize(width_ - 1, ' ');
    out_ << '\r' << line << std::flush;
    drawn_ = true;
}

void ProgressBar::finish() {
    if (!drawn_) return;
    out_ << '\r' << std::string(width_ - 1, ' ') << '\r' << std::flush;
    drawn_ = false;
}
