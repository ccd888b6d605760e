/*
 * The summary the benchmark run ends with: each driver operation beside the
 * same operation done with the raw client library, the log messages the
 * driver wrote for it, the measured cost of one log write, and the two
 * ratios driver/raw and driver/(raw + messages x write cost).  The second
 * ratio is what the driver adds beyond the library and its own log.
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
    std::string label;   // as shown in the table
    std::string driver;  // benchmark names
    std::string raw;
};

// The benchmarks the notes under the table come from.
struct TableNotes {
    std::string write_cost;    // one write(2) of a log line
    std::string message_cost;  // one whole message through the log routine
    std::string memory;        // a listing with the "result_bytes_per_entry" counter
};

void print_table(std::ostream &out, const std::map<std::string, CollectingReporter::Measurement> &measured,
                 const std::vector<ComparedOperation> &operations, const TableNotes &notes);

#endif
