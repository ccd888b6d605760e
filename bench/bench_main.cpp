// The driver's operations beside the same operations done with the raw
// client library, plus the cost of one log write, against a slapd this
// program starts itself.  Ends with a Markdown table (see result_table.h);
// `--table=FILE` also writes it to FILE.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
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
#include "raw_client.h"
#include "result_table.h"
#include "support/driver_library.h"
#include "support/session.h"

namespace {

BenchDirectory *directory = nullptr;

// The driver logs into the working directory; the bench's own log-cost
// measurements go to a subdirectory, so the two never share a file.
constexpr const char *kDriverLog = "libveldldap.log";
constexpr const char *kLogCostDirectory = "logcost";

// A typical line of the decode path: prefix and " Attribute ... values.".
constexpr char kTypicalLogLine[] = "--(line  311)--:  Attribute velmorStatus has 1 values.\n";

// Runs the timed loop and records how many log messages each
// iteration wrote; empties the log afterwards so long runs stay small.
template <typename Loop>
void counting_log_messages(benchmark::State &state, Loop &&loop) {
    LogWatch watch(kDriverLog);
    watch.start();
    loop();
    state.counters["messages"] =
        benchmark::Counter(static_cast<double>(watch.messages()), benchmark::Counter::kAvgIterations);
    watch.discard();
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

// ---- single read ----

void driver_read(benchmark::State &state) {
    auto session = bound_session(state, 100);
    if (!session) return;
    const std::string name = BenchDirectory::read_name();
    counting_log_messages(state, [&] {
        for (auto _ : state) {
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

// The heap the host holds per entry of a driver result, measured once
// outside the timed loop.
double result_bytes_per_entry(Session &session, int entries) {
    session.release_result();
    const std::size_t before = mallinfo2().uordblks;
    if (session.search() != CS_SUCCEED) return 0;
    const std::size_t after = mallinfo2().uordblks;
    return static_cast<double>(after - before) / entries;
}

void driver_search(benchmark::State &state) {
    const int entries = static_cast<int>(state.range(0));
    const HeapPolicy heap(state.range(1) != 0);
    auto session = bound_session(state, entries);
    if (!session) return;
    counting_log_messages(state, [&] {
        for (auto _ : state) {
            if (session->search() != CS_SUCCEED || session->result()->dcl_numentries != entries) {
                state.SkipWithError("search failed");
                break;
            }
        }
    });
    state.counters["result_bytes_per_entry"] = result_bytes_per_entry(*session, entries);
    LogWatch(kDriverLog).discard();
}

void raw_search(benchmark::State &state) {
    const auto entries = static_cast<std::size_t>(state.range(0));
    const HeapPolicy heap(state.range(1) != 0);
    RawClient client = raw_client();
    const std::string base = BenchDirectory::list_base(static_cast<int>(entries));
    const std::string filter = std::string(servername_oid()) + "=*";
    for (auto _ : state) {
        if (client.search(base, RawClient::Scope::one_level, filter) != entries) {
            state.SkipWithError("raw search failed");
            break;
        }
    }
}

// ---- add and delete ----

// The new server entry as a host hands it to gdd_add_entry.
class HostObject {
public:
    HostObject() {
        const auto attributes = BenchDirectory::new_server_attributes();
        texts_.reserve(attributes.size());
        values_.resize(attributes.size());
        for (std::size_t i = 0; i < attributes.size(); ++i) {
            texts_.push_back(attributes[i].text);
            fill_value(values_[i], attributes[i].syntax, texts_.back());
            DCL_ATTRIBUTE attribute{};
            attribute.dcl_attrtype.dcl_oidlen = static_cast<CS_INT>(attributes[i].oid.size());
            oids_.push_back(attributes[i].oid);
            attribute.dcl_attrmod = CS_UNUSED;
            attribute.dcl_attrsyntax = attributes[i].syntax;
            attribute.dcl_numvalues = 1;
            list_.push_back(attribute);
        }
        for (std::size_t i = 0; i < list_.size(); ++i) {
            list_[i].dcl_attrtype.dcl_oidp = oids_[i].data();
            list_[i].dcl_attrvalues = &values_[i];
        }
        object_.dcl_attrlist.dcl_numattr = static_cast<CS_INT>(list_.size());
        object_.dcl_attrlist.dcl_attribute = list_.data();
    }
    DCL_OBJECT *object() { return &object_; }

private:
    static void fill_value(DCL_ATTRVALUE &value, int syntax, std::string &text) {
        if (syntax == DCL_SYNTAX_INTEGER) {
            value.dcl_integer = std::atoi(text.c_str());
        } else if (syntax == DCL_SYNTAX_TRANADDR) {
            // "type#access#address"
            const auto first = text.find('#');
            const auto second = text.find('#', first + 1);
            std::snprintf(value.dcl_tranaddr.dcl_trantype, sizeof value.dcl_tranaddr.dcl_trantype,
                          "%s", text.substr(0, first).c_str());
            value.dcl_tranaddr.dcl_accesstype = std::atoi(text.c_str() + first + 1);
            std::snprintf(value.dcl_tranaddr.dcl_tranaddress,
                          sizeof value.dcl_tranaddr.dcl_tranaddress, "%s",
                          text.substr(second + 1).c_str());
        } else {
            value.dcl_string.dcl_stringp = text.data();
            value.dcl_string.dcl_length = static_cast<CS_INT>(text.size());
        }
    }

    std::vector<std::string> texts_;
    std::vector<std::string> oids_;
    std::vector<DCL_ATTRVALUE> values_;
    std::vector<DCL_ATTRIBUTE> list_;
    DCL_OBJECT object_{};
};

void driver_add_delete(benchmark::State &state) {
    if (driver().add_entry == nullptr || driver().delete_entry == nullptr) {
        state.SkipWithError("this driver build has no add or delete");
        return;
    }
    auto session = bound_session(state, 100);
    if (!session) return;
    HostObject host_object;
    std::string name = BenchDirectory::new_server_name();
    DCL_COMP comp{};
    driver().delete_entry(session->handle(), name.data(), CS_NULLTERM, &comp);  // a leftover
    counting_log_messages(state, [&] {
        for (auto _ : state) {
            if (driver().add_entry(session->handle(), name.data(), CS_NULLTERM, host_object.object(),
                                   &comp) != CS_SUCCEED ||
                driver().delete_entry(session->handle(), name.data(), CS_NULLTERM, &comp) !=
                    CS_SUCCEED) {
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
    RegisterBenchmark("read/driver", driver_read)->Unit(benchmark::kMicrosecond)->UseRealTime();
    RegisterBenchmark("read/raw", raw_read)->Unit(benchmark::kMicrosecond)->UseRealTime();
    for (auto search : {driver_search, raw_search}) {
        auto *benchmark = RegisterBenchmark(search == driver_search ? "search/driver" : "search/raw", search);
        benchmark->ArgNames({"entries", "heap_kept"})->Unit(benchmark::kMillisecond)->UseRealTime();
        for (int entries : BenchDirectory::kListSizes) benchmark->Args({entries, 0});
        benchmark->Args({10000, 1});
    }
    RegisterBenchmark("add+delete/driver", driver_add_delete)->Unit(benchmark::kMicrosecond)->UseRealTime();
    RegisterBenchmark("add+delete/raw", raw_add_delete)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

const std::vector<ComparedOperation> kCompared = {
    {"gdd_read, one entry by name", "read/driver", "read/raw"},
    {"gdd_search, 100 entries", "search/driver/entries:100/heap_kept:0",
     "search/raw/entries:100/heap_kept:0"},
    {"gdd_search, 1,000 entries", "search/driver/entries:1000/heap_kept:0",
     "search/raw/entries:1000/heap_kept:0"},
    {"gdd_search, 10,000 entries", "search/driver/entries:10000/heap_kept:0",
     "search/raw/entries:10000/heap_kept:0"},
    {"gdd_search, 10,000 entries, host keeps freed heap", "search/driver/entries:10000/heap_kept:1",
     "search/raw/entries:10000/heap_kept:1"},
    {"gdd_add_entry + gdd_delete_entry", "add+delete/driver", "add+delete/raw"},
};

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
        register_benchmarks();
        CollectingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        directory = nullptr;

        std::ostringstream table;
        print_table(table, reporter.measurements(), kCompared,
                    {"log/write", "log/message", "search/driver/entries:10000/heap_kept:0"});
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
