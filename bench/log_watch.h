/*
 * Counting what the driver logs: the messages appended to its log file
 * between two points, found by their line prefix.  The driver keeps its log
 * open for appending, so the file can be emptied between measurements
 * without disturbing it; that keeps long runs from filling the disk.
 */
#ifndef VELDLDAP_BENCH_LOG_WATCH_H
#define VELDLDAP_BENCH_LOG_WATCH_H

#include <string>

class LogWatch {
public:
    explicit LogWatch(std::string path) : path_(std::move(path)) {}

    void start();
    // Messages appended since start().
    long messages() const;
    // Empties the file (the driver keeps appending to the same file).
    void discard() const;

private:
    std::string path_;
    long start_offset_ = 0;
};

#endif
