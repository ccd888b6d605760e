/*
 * A one-line progress bar on a terminal: "[#####-----]  12/50  srv12",
 * redrawn in place with a carriage return and cleared when done.  It draws
 * nothing unless it was enabled (veldir enables it when standard error is a
 * terminal), so pipes and log files never see it.
 */
#ifndef VELDIR_PROGRESS_BAR_H
#define VELDIR_PROGRESS_BAR_H

#include <cstddef>
#include <ostream>
#include <string>

class ProgressBar {
public:
    ProgressBar(std::ostream &out, std::size_t total, bool enabled);
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    void show(std::size_t done, const std::string &label);
    void finish();

private:
    std::ostream &out_;
    std::size_t total_;
    bool enabled_;
    std::size_t width_;
    bool drawn_ = false;
};

// Whether the file descriptor is a terminal, and its width in columns (80 if unknown).
bool is_terminal(int fd);
std::size_t terminal_columns(int fd);

#endif
