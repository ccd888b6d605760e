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

// `value` with `decimals` digits after the point.
std::string number(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
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

namespace {

double time_of(const std::map<std::string, CollectingReporter::Measurement> &measured,
               const std::string &name) {
    const auto found = measured.find(name);
    return found == measured.end() ? 0 : found->second.nanoseconds;
}

double messages_of(const std::map<std::string, CollectingReporter::Measurement> &measured,
                   const std::string &name) {
    const auto found = measured.find(name);
    if (found == measured.end()) return 0;
    const auto counted = found->second.counters.find("messages");
    return counted == found->second.counters.end() ? 0 : counted->second;
}

std::string ratio(double value) { return value > 0 ? number(value, 3) : "—"; }

}  // namespace

void print_table(std::ostream &out, const std::map<std::string, CollectingReporter::Measurement> &measured,
                 const std::vector<ComparedOperation> &operations, const TableNotes &notes,
                 const MemoryFigures &memory) {
    const double write_alone = time_of(measured, notes.write_cost);
    out << "| operation | driver | driver, log writes dropped | raw library | log messages "
           "| one log write, alone | one log write, in the driver | driver/raw "
           "| driver/(raw + messages × write alone) | driver/(raw + messages × write in the driver) |\n"
        << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const ComparedOperation &operation : operations) {
        const double driver = time_of(measured, operation.driver);
        const double dropped = time_of(measured, operation.driver_dropped);
        const double raw = time_of(measured, operation.raw);
        if (driver == 0 || raw == 0) continue;
        const double messages = messages_of(measured, operation.driver);
        const double write_in_driver = messages > 0 && dropped > 0 ? (driver - dropped) / messages : 0;
        out << "| " << operation.label << " | " << duration(driver) << " | "
            << (dropped > 0 ? duration(dropped) : "—") << " | " << duration(raw) << " | "
            << number(messages, 0) << " | " << duration(write_alone) << " | "
            << (write_in_driver > 0 ? duration(write_in_driver) : "—") << " | "
            << number(driver / raw, 2) << " | " << ratio(driver / (raw + messages * write_alone))
            << " | " << ratio(write_in_driver > 0 ? driver / (raw + messages * write_in_driver) : 0)
            << " |\n";
    }
    out << "\nOne log write, alone: one write(2) of a typical 55-byte log line, appended to a file "
           "beside the driver's log, in a loop. One log write, in the driver: (driver − driver with "
           "its log writes dropped at the system call) / messages.";
    const double message = time_of(measured, notes.message_cost);
    if (message > 0)
        out << " One whole log message through the driver's log routine (formatting and prefix "
               "included), in a loop: "
            << duration(message) << ".";
    out << "\n\nMemory per decoded entry of the 10,000-entry listing: the driver's listing raises the "
           "process's peak resident memory by "
        << number(memory.driver_peak, 0) << " bytes per entry (the raw library's: "
        << number(memory.raw_peak, 0) << "); the result the host receives holds "
        << number(memory.result, 0) << " bytes of heap per entry.\n";
}
