/*
 * What the driver's log writes cost where they happen.  A loop of write(2)
 * calls alone runs with warm caches and branch predictors; inside the
 * driver each write shares them with the decoding around it, and costs
 * more.  To measure that, the benchmark executable defines write(2) itself
 * (the driver, loaded into it, calls this one): every write goes to the
 * kernel unchanged, except that while a DroppedLogWrites is alive the
 * writes to the driver's log file return at once, as if written.  The
 * driver runs the same code either way; the difference between the two
 * runs, per message, is the cost of one log write in the driver.
 */
#ifndef VELDLDAP_BENCH_LOG_WRITES_H
#define VELDLDAP_BENCH_LOG_WRITES_H

#include <string>

class DroppedLogWrites {
public:
    // `log_path`: the driver's log, already open in this process.
    explicit DroppedLogWrites(const std::string &log_path);
    ~DroppedLogWrites();
    DroppedLogWrites(const DroppedLogWrites &) = delete;
    DroppedLogWrites &operator=(const DroppedLogWrites &) = delete;

    // False when the log was not found among the open files.
    bool active() const { return active_; }

private:
    bool active_ = false;
};

#endif
