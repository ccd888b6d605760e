#include "result_table.h"

#include <cstdio>

namespace {

double to_nanoseconds(double value, benchmark::TimeUnit unit) {
    switch (unit) {
    case benchmark::kSecond: return value * 1e9;
    case benchmark::kMillisecond: return value * 1e6;
    case benchmark::kMicrosecond: return value * 1e3;
    default: return value;
    }
}

// The run's own name without the aggregate suffix and time-type decoration.
std::string base_name(const benchmark::BenchmarkReporter::Run &run) {
    benchmark::BenchmarkName name = run.run_name;
    name.time_type.clear();
    name.repetitions.clear();
    name.min_time.clear();
    return name.str();
}

std::string duration(double nanoseconds) {
    char text[32];
    if (nanoseconds >= 1e7)
        std::snprintf(text, sizeof text, "%.1f ms", nanoseconds / 1e6);
    else if (nanoseconds >= 1e4)
        std::snprintf(text, sizeof text, "%.1f µs", nanoseconds / 1e3);
    else
        std::snprintf(text, sizeof text, "%.2f µs", nanoseconds / 1e3);
    return text;
}

std::string number(double value, const char *format) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

void CollectingReporter::ReportRuns(const std::vector<Run> &runs) {
    for (const Run &run : runs) {
        if (run.error_occurred) continue;
        const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (!single && !median) continue;
        Measurement &measurement = measurements_[base_name(run)];
        measurement.nanoseconds = to_nanoseconds(run.GetAdjustedRealTime(), run.time_unit);
        for (const auto &[name, counter] : run.counters) measurement.counters[name] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
}

void print_table(std::ostream &out, const std::map<std::string, CollectingReporter::Measurement> &measured,
                 const std::vector<ComparedOperation> &operations, const TableNotes &notes) {
    const auto write = measured.find(notes.write_cost);
    const double write_ns = write == measured.end() ? 0 : write->second.nanoseconds;
    out << "| operation | driver | raw library | log messages | one log write | driver/raw | "
           "driver/(raw + messages × write) |\n"
        << "|---|---:|---:|---:|---:|---:|---:|\n";
    for (const ComparedOperation &operation : operations) {
        const auto driver = measured.find(operation.driver);
        const auto raw = measured.find(operation.raw);
        if (raw == measured.end()) continue;
        if (driver == measured.end()) {
            // e.g. a driver build without that entry point: the floor alone
            out << "| " << operation.label << " | — | " << duration(raw->second.nanoseconds)
                << " | — | " << duration(write_ns) << " | — | — |\n";
            continue;
        }
        const auto counted = driver->second.counters.find("messages");
        const double messages = counted == driver->second.counters.end() ? 0 : counted->second;
        const double driver_ns = driver->second.nanoseconds;
        const double raw_ns = raw->second.nanoseconds;
        out << "| " << operation.label << " | " << duration(driver_ns) << " | " << duration(raw_ns)
            << " | " << number(messages, "%.0f") << " | " << duration(write_ns) << " | "
            << number(driver_ns / raw_ns, "%.2f") << " | "
            << number(driver_ns / (raw_ns + messages * write_ns), "%.3f") << " |\n";
    }
    const auto message = measured.find(notes.message_cost);
    if (message != measured.end())
        out << "\nOne log write: one write(2) of a typical 55-byte log line, appended to a file beside the "
               "driver's log. One whole log message through the driver's log routine (formatting "
               "and prefix included): "
            << duration(message->second.nanoseconds) << ".\n";
    const auto memory = measured.find(notes.memory);
    if (memory != measured.end()) {
        const auto bytes = memory->second.counters.find("result_bytes_per_entry");
        if (bytes != memory->second.counters.end())
            out << "\nHost records per decoded entry (heap held by the result of the 10,000-entry "
                   "listing, divided by its entries): "
                << number(bytes->second, "%.0f") << " bytes.\n";
    }
}
