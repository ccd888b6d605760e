/*
 * The summary the benchmark run ends with: each driver operation beside the
 * same operation done with the raw client library, the log messages the
 * driver wrote for it, the cost of one log write measured two ways (a loop
 * of writes alone; the driver with and without its log writes), and the
 * ratios driver/raw and driver/(raw + messages x write cost).  The last
 * ones are what the driver adds beyond the library and its own log.
 */
#ifndef VELDLDAP_BENCH_RESULT_TABLE_H
#define VELDLDAP_BENCH_RESULT_TABLE_H

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

// Keeps, for each benchmark, its real time per iteration (the median when
// the run is repeated) and its counters, while printing as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    struct Measurement {
        double nanoseconds = 0;
        std::map<std::string, double> counters;
    };

    void ReportRuns(const std::vector<Run> &runs) override;
    const std::map<std::string, Measurement> &measurements() const { return measurements_; }

private:
    std::map<std::string, Measurement> measurements_;
};

struct ComparedOperation {
    std::string label;           // as shown in the table
    std::string driver;          // benchmark names: the driver writing its log,
    std::string driver_dropped;  // the driver with its log writes dropped,
    std::string raw;             // and the floor
};

// The benchmarks the notes under the table come from.
struct TableNotes {
    std::string write_cost;    // one write(2) of a log line
    std::string message_cost;  // one whole message through the log routine
};

// Bytes per entry of a 10,000-entry listing.
struct MemoryFigures {
    double raw_peak = 0;     // growth of the peak resident set, floor
    double driver_peak = 0;  // the same, driver
    double result = 0;       // heap the host holds in the driver's result
};

void print_table(std::ostream &out, const std::map<std::string, CollectingReporter::Measurement> &measured,
                 const std::vector<ComparedOperation> &operations, const TableNotes &notes,
                 const MemoryFigures &memory);

#endif
