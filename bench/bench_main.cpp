// The driver's operations beside the same operations done with the raw
// client library, plus the cost of one log write, against a slapd this
// program starts itself.  Ends with a Markdown table (see result_table.h);
// `--table=FILE` also writes it to FILE.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_directory.h"
#include "comnblib.h"
#include "driver_vocabulary.h"
#include "host/test_host.h"
#include "log_watch.h"
#include "log_writes.h"
#include "raw_client.h"
#include "result_table.h"
#include "support/host_object.h"
#include "support/loaded_driver.h"
#include "support/session.h"

namespace {

BenchDirectory *directory = nullptr;

// The driver logs into the working directory; the bench's own log-cost
// measurements go to a subdirectory, so the two never share a file.
constexpr const char *kDriverLog = "libveldldap.log";
constexpr const char *kLogCostDirectory = "logcost";

// A typical line of the decode path: prefix and " Attribute ... values.".
constexpr char kTypicalLogLine[] = "--(line  311)--:  Attribute velmorStatus has 1 values.\n";

// Every driver benchmark runs twice: with its log written, and with the
// writes to the log dropped at the system call (see log_writes.h).  The
// last argument of each says which.
constexpr int kLogWritten = 1;
constexpr int kLogDropped = 0;

// Runs the timed loop; with the log written, records how many log messages
// each iteration wrote and empties the log afterwards so long runs stay small.
template <typename Loop>
void driver_loop(benchmark::State &state, bool log_written, Loop &&loop) {
    if (!log_written) {
        const DroppedLogWrites dropped(kDriverLog);
        if (!dropped.active()) state.SkipWithError("the driver's log is not open");
        else loop();
    } else {
        LogWatch watch(kDriverLog);
        watch.start();
        loop();
        state.counters["messages"] = benchmark::Counter(static_cast<double>(watch.messages()),
                                                        benchmark::Counter::kAvgIterations);
        watch.discard();
    }
    testhost::clear_events();  // the test host records every alarm-clock call
}

std::unique_ptr<Session> bound_session(benchmark::State &state, int entries) {
    auto session = std::make_unique<Session>(directory->init_string(entries));
    if (!session->opened() || session->bind() != CS_SUCCEED) {
        state.SkipWithError("driver session could not be opened and bound");
        return nullptr;
    }
    return session;
}

RawClient raw_client() {
    return RawClient(directory->uri(), directory->admin_dn(), directory->admin_password());
}

// Releasing the previous answer is the host's work, not the operation's:
// neither the driver's result nor the floor's copies are released on the clock.
template <typename Release>
void release_untimed(benchmark::State &state, Release &&release) {
    state.PauseTiming();
    release();
    state.ResumeTiming();
}

// ---- single read ----

void driver_read(benchmark::State &state) {
    auto session = bound_session(state, 100);
    if (!session) return;
    const std::string name = BenchDirectory::read_name();
    driver_loop(state, state.range(0) == kLogWritten, [&] {
        for (auto _ : state) {
            release_untimed(state, [&] { session->release_result(); });
            if (session->read(name) != CS_SUCCEED || session->result()->dcl_numentries != 1) {
                state.SkipWithError("read failed");
                break;
            }
        }
    });
}

void raw_read(benchmark::State &state) {
    RawClient client = raw_client();
    const std::string base = BenchDirectory::list_base(100);
    const std::string filter = std::string(servername_oid()) + "=" + BenchDirectory::read_name();
    for (auto _ : state) {
        release_untimed(state, [&] { client.release_copies(); });
        if (client.search(base, RawClient::Scope::one_level, filter) != 1) {
            state.SkipWithError("raw read failed");
            break;
        }
    }
}

// ---- listing ----

// A host that keeps the memory of a released result for the next one.  With
// glibc's default the ~9.5 KB of host records per entry go back to the kernel
// when the host releases a large result, and every listing faults them in
// again; the second variant shows how much of the time that is.
class HeapPolicy {
public:
    explicit HeapPolicy(bool keep_freed_memory) : keep_(keep_freed_memory) {
        if (keep_) mallopt(M_TRIM_THRESHOLD, INT_MAX);
    }
    ~HeapPolicy() {
        if (keep_) {
            mallopt(M_TRIM_THRESHOLD, kGlibcDefaultTrimThreshold);
            malloc_trim(0);
        }
    }
    HeapPolicy(const HeapPolicy &) = delete;
    HeapPolicy &operator=(const HeapPolicy &) = delete;

private:
    static constexpr int kGlibcDefaultTrimThreshold = 128 * 1024;
    bool keep_;
};

void driver_search(benchmark::State &state) {
    const int entries = static_cast<int>(state.range(0));
    const HeapPolicy heap(state.range(1) != 0);
    auto session = bound_session(state, entries);
    if (!session) return;
    driver_loop(state, state.range(2) == kLogWritten, [&] {
        for (auto _ : state) {
            release_untimed(state, [&] { session->release_result(); });
            if (session->search() != CS_SUCCEED || session->result()->dcl_numentries != entries) {
                state.SkipWithError("search failed");
                break;
            }
        }
    });
}

void raw_search(benchmark::State &state) {
    const auto entries = static_cast<std::size_t>(state.range(0));
    const HeapPolicy heap(state.range(1) != 0);
    RawClient client = raw_client();
    const std::string base = BenchDirectory::list_base(static_cast<int>(entries));
    const std::string filter = std::string(servername_oid()) + "=*";
    for (auto _ : state) {
        release_untimed(state, [&] { client.release_copies(); });
        if (client.search(base, RawClient::Scope::one_level, filter) != entries) {
            state.SkipWithError("raw search failed");
            break;
        }
    }
}

// ---- add and delete ----

// The new server entry as a host hands it to gdd_add_entry.
HostObject new_server_object() {
    static const auto attributes = BenchDirectory::new_server_attributes();  // the object points into it
    HostObject object;
    for (const auto &attribute : attributes) {
        const char *oid = attribute.oid.c_str();
        if (attribute.syntax == DCL_SYNTAX_INTEGER) {
            object.integer(oid, {std::atoi(attribute.text.c_str())});
        } else if (attribute.syntax == DCL_SYNTAX_TRANADDR) {
            // "type#access#address"
            const auto first = attribute.text.find('#');
            const auto second = attribute.text.find('#', first + 1);
            object.address(oid, attribute.text.substr(0, first).c_str(),
                           std::atoi(attribute.text.c_str() + first + 1),
                           attribute.text.substr(second + 1).c_str());
        } else {
            object.text(oid, attribute.syntax, {attribute.text});
        }
    }
    return object;
}

void driver_add_delete(benchmark::State &state) {
    auto session = bound_session(state, 100);
    if (!session) return;
    HostObject host_object = new_server_object();
    std::string name = BenchDirectory::new_server_name();
    session->remove(name);  // a leftover
    driver_loop(state, state.range(0) == kLogWritten, [&] {
        for (auto _ : state) {
            if (session->add(name, host_object.object()) != CS_SUCCEED ||
                session->remove(name) != CS_SUCCEED) {
                state.SkipWithError("add or delete failed");
                break;
            }
        }
    });
}

void raw_add_delete(benchmark::State &state) {
    RawClient client = raw_client();
    std::vector<RawClient::Attribute> attributes = {{"objectClass", {"velmorServer"}}};
    for (const auto &attribute : BenchDirectory::new_server_attributes())
        attributes.push_back({attribute.oid, {attribute.text}});
    // The name the driver builds: naming attribute, server name, ", ", base.
    const std::string dn = "velmorServername=" + BenchDirectory::new_server_name() + ", " +
                           BenchDirectory::list_base(100);
    client.remove(dn);
    for (auto _ : state) {
        if (!client.add(dn, attributes) || !client.remove(dn)) {
            state.SkipWithError("raw add or delete failed");
            break;
        }
    }
}

// ---- the log ----

// The floor of one log message: one write(2) of a typical line, appended.
void log_write(benchmark::State &state) {
    const std::string path = std::string(kLogCostDirectory) + "/write.log";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        state.SkipWithError("cannot open the log-cost file");
        return;
    }
    for (auto _ : state) {
        if (::write(fd, kTypicalLogLine, sizeof kTypicalLogLine - 1) < 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    ::close(fd);
    ::truncate(path.c_str(), 0);
}

// One whole message through the driver's log routine (the static copy,
// whose file lies in the log-cost directory).
void log_message(benchmark::State &state) {
    for (auto _ : state) GDD_LOG(" Attribute %s has %i values.\n", "velmorStatus", 1);
    ::truncate((std::string(kLogCostDirectory) + "/" + kDriverLog).c_str(), 0);
}

void register_benchmarks() {
    using benchmark::RegisterBenchmark;
    RegisterBenchmark("log/write", log_write)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("log/message", log_message)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("read/driver", driver_read)
        ->ArgName("log_written")->Arg(kLogWritten)->Arg(kLogDropped)
        ->Unit(benchmark::kMicrosecond)->UseRealTime();
    RegisterBenchmark("read/raw", raw_read)->Unit(benchmark::kMicrosecond)->UseRealTime();
    auto *driver = RegisterBenchmark("search/driver", driver_search);
    driver->ArgNames({"entries", "heap_kept", "log_written"})->Unit(benchmark::kMillisecond)->UseRealTime();
    auto *raw = RegisterBenchmark("search/raw", raw_search);
    raw->ArgNames({"entries", "heap_kept"})->Unit(benchmark::kMillisecond)->UseRealTime();
    for (auto [entries, heap_kept] : {std::pair{100, 0}, {1000, 0}, {10000, 0}, {10000, 1}}) {
        for (int log : {kLogWritten, kLogDropped}) driver->Args({entries, heap_kept, log});
        raw->Args({entries, heap_kept});
    }
    RegisterBenchmark("add+delete/driver", driver_add_delete)
        ->ArgName("log_written")->Arg(kLogWritten)->Arg(kLogDropped)
        ->Unit(benchmark::kMicrosecond)->UseRealTime();
    RegisterBenchmark("add+delete/raw", raw_add_delete)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

ComparedOperation listing(const char *label, int entries, int heap_kept) {
    const std::string suffix =
        "/entries:" + std::to_string(entries) + "/heap_kept:" + std::to_string(heap_kept);
    return {label, "search/driver" + suffix + "/log_written:1", "search/driver" + suffix + "/log_written:0",
            "search/raw" + suffix};
}

const std::vector<ComparedOperation> kCompared = {
    {"gdd_read, one entry by name", "read/driver/log_written:1", "read/driver/log_written:0", "read/raw"},
    listing("gdd_search, 100 entries", 100, 0),
    listing("gdd_search, 1,000 entries", 1000, 0),
    listing("gdd_search, 10,000 entries", 10000, 0),
    listing("gdd_search, 10,000 entries, host keeps freed heap", 10000, 1),
    {"gdd_add_entry + gdd_delete_entry", "add+delete/driver/log_written:1",
     "add+delete/driver/log_written:0", "add+delete/raw"},
};

// ---- memory ----

std::size_t peak_resident_bytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

// What one 10,000-entry listing adds to the process's peak resident memory,
// per entry: the floor first, then the driver (the peak only grows, and the
// driver's is the larger), measured before any benchmark has run.
MemoryFigures measure_memory() {
    constexpr int kEntries = 10000;
    MemoryFigures figures;
    const std::size_t start = peak_resident_bytes();
    {
        RawClient client = raw_client();
        client.search(BenchDirectory::list_base(kEntries), RawClient::Scope::one_level,
                      std::string(servername_oid()) + "=*");
        figures.raw_peak = static_cast<double>(peak_resident_bytes() - start) / kEntries;
    }
    malloc_trim(0);
    Session session(directory->init_string(kEntries));
    const std::size_t held_before = mallinfo2().uordblks;
    if (session.bind() != CS_SUCCEED || session.search() != CS_SUCCEED) return figures;
    figures.driver_peak = static_cast<double>(peak_resident_bytes() - start) / kEntries;
    figures.result = static_cast<double>(mallinfo2().uordblks - held_before) / kEntries;
    session.release_result();
    LogWatch(kDriverLog).discard();
    malloc_trim(0);
    return figures;
}

// A private working directory: the driver's log and the log-cost files.
std::filesystem::path enter_working_directory() {
    char pattern[] = "/tmp/veldldap-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr || ::chdir(pattern) != 0) {
        std::perror("bench working directory");
        std::exit(2);
    }
    std::filesystem::create_directory(kLogCostDirectory);
    // The static copy of the log opens its file at its first message.
    if (::chdir(kLogCostDirectory) != 0) std::exit(2);
    GDD_LOG("log-cost measurements\n");
    if (::chdir("..") != 0) std::exit(2);
    return pattern;
}

// Takes "--table=FILE" out of the arguments (benchmark rejects unknown flags).
std::string take_table_argument(int &argc, char **argv) {
    std::string table;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--table=", 8) == 0)
            table = argv[i] + 8;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return table;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string table_file = take_table_argument(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const std::filesystem::path working = enter_working_directory();
    int status = 0;
    {
        BenchDirectory bench_directory;
        directory = &bench_directory;
        const MemoryFigures memory = measure_memory();
        register_benchmarks();
        CollectingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        directory = nullptr;

        std::ostringstream table;
        print_table(table, reporter.measurements(), kCompared, {"log/write", "log/message"}, memory);
        std::cout << "\n" << table.str();
        if (!table_file.empty()) {
            std::ofstream out(table_file);
            out << table.str();
            status = out ? 0 : 1;
        }
    }
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(working, ignored);
    return status;
}
