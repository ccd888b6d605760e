// demo: the whole lifecycle against a throw-away directory server (slapd, or
// 389 Directory Server with --server 389ds) that the tool starts on
// 127.0.0.1 with the velmor schema, sample entries and StartTLS from a
// throw-away CA.  Each step is shown with its result and time.  The server
// is stopped and its directory removed at the end: after a failure, when
// the --deadline passes, and on SIGINT, SIGTERM, SIGHUP and SIGPIPE (the
// reader of "veldir demo | head" went away), which end it with 128 + the
// signal's number.
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <ostream>
#include <type_traits>

#include "alarm_clock.h"
#include "commands.h"
#include "connection.h"
#include "demo_report.h"
#include "directory_launcher.h"
#include "exit_codes.h"
#include "log_directory.h"
#include "init_string_mask.h"
#include "step_timer.h"
#include "terminal_text.h"

#ifndef VELDIR_DATADIR_FROM_BINDIR
#define VELDIR_DATADIR_FROM_BINDIR "../share"
#endif

namespace {

constexpr const char *kSuffix = "o=demo";
constexpr const char *kBase = "ou=servers,o=demo";
constexpr const char *kRootDn = "cn=admin,o=demo";
constexpr const char *kRootPassword = "demo-secret";  // 389 DS wants eight characters at least
constexpr int kDemoTimelimit = 10;
constexpr const char *kNewServer = "demo-new";
// The whole DN, as veldir hands every name to the driver.
const EntryName kNewEntry{"velmorServername=demo-new,ou=servers,o=demo", kNewServer};

constexpr const char *kSampleEntries =
    "dn: o=demo\nobjectClass: organization\no: demo\n\n"
    "dn: ou=servers,o=demo\nobjectClass: organizationalUnit\nou: servers\n\n"
    "dn: velmorServername=alpha,ou=servers,o=demo\nobjectClass: velmorServer\nvelmorServername: alpha\n"
    "velmorService: orders\nvelmorVersion: 3\nvelmorStatus: 0\nvelmorAddress: TCP#0#alpha.example 5000\n\n"
    "dn: velmorServername=beta,ou=servers,o=demo\nobjectClass: velmorServer\nvelmorServername: beta\n"
    "velmorService: billing\nvelmorVersion: 2\nvelmorStatus: 1\nvelmorAddress: TCP#0#beta.example 5100\n"
    "velmorAddress: tcp#1#beta.example 5101 ssl\n\n"
    "dn: velmorServername=gamma,ou=servers,o=demo\nobjectClass: velmorServer\nvelmorServername: gamma\n"
    "velmorService: reports\nvelmorDatabaseName: reportsdb\nvelmorRetryCount: 3\nvelmorRetryDelay: 5\n\n";

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

std::atomic<pid_t> g_server{0};
std::atomic<int> g_signal{0};  // the first of kCleanupSignals that arrived

// Stopping the server makes the call in progress fail, and the demo then
// winds down on its normal path, removing the server's directory.  Once
// standard output is a closed pipe, writing fails quietly instead of
// killing the tool.
extern "C" void on_signal(int number) {
    int none = 0;
    g_signal.compare_exchange_strong(none, number);
    const pid_t server = g_server;
    if (server > 0) ::kill(server, SIGTERM);
}

// Catches the signals for the demo's whole life, the server's removal
// included, so it must outlive the server's launcher.
class SignalGuard {
public:
    SignalGuard() {
        struct sigaction action {};
        action.sa_handler = on_signal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i)
            ::sigaction(kCleanupSignals[i], &action, &previous_[i]);
    }
    ~SignalGuard() {
        forget();
        for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i)
            ::sigaction(kCleanupSignals[i], &previous_[i], nullptr);
    }
    SignalGuard(const SignalGuard &) = delete;
    SignalGuard &operator=(const SignalGuard &) = delete;

    void watch(pid_t server) {
        g_server = server;
        alarm_clock::stop_child_on_deadline(server);
    }
    // Before the server is stopped and reaped: its pid may then be another process's.
    void forget() {
        g_server = 0;
        alarm_clock::forget_child();
    }

private:
    struct sigaction previous_[std::size(kCleanupSignals)] {};
};

std::string find_schema(const std::string &file_name) {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path candidates[] = {
        executable.parent_path() / VELDIR_DATADIR_FROM_BINDIR / "veldldap/schema" / file_name,
        executable.parent_path() / "../share/veldldap/schema" / file_name,
        std::filesystem::path(VELDIR_SOURCE_SCHEMA_DIR) / file_name,
    };
    for (const std::filesystem::path &candidate : candidates)
        if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
    return "";
}

struct ServerKind {
    veldldap::DirectoryFlavour flavour;
    const char *word;      // as --server names it
    const char *name;      // for people
    const char *programs;  // what the demo needs installed
};

constexpr ServerKind kServerKinds[] = {
    {veldldap::DirectoryFlavour::slapd, "slapd", "slapd", "slapd, slapadd and openssl"},
    {veldldap::DirectoryFlavour::ds389, "389ds", "389 Directory Server",
     "389-ds-base (ns-slapd), certutil, pk12util and openssl"},
};

const ServerKind &kind_of(veldldap::DirectoryFlavour flavour) {
    for (const ServerKind &kind : kServerKinds)
        if (kind.flavour == flavour) return kind;
    return kServerKinds[0];
}

class Demo {
public:
    Demo(const Invocation &invocation, DemoReport &report, std::ostream &err)
        : invocation_(invocation), kind_(kind_of(invocation.server)), report_(report), err_(err) {}

    int run() {
        report_.starting(kind_.word, kind_.name);
        Outcome failure;
        bool started = false;
        {
            const std::unique_ptr<veldldap::DirectoryLauncher> server = launch(failure);
            if (!failure) {
                started = true;
                failure = lifecycle(*server);
                connection_.disconnect(err_);
            }
            signals_.forget();
            // Stopped and removed here, before the report says so.
        }
        failure = final_failure(std::move(failure));
        report_.finished(failure, started);
        // The report's own writing may meet a closed pipe.
        if (g_signal != 0) return 128 + g_signal;
        return failure ? failure->exit_code : kExitOk;
    }

private:
    std::unique_ptr<veldldap::DirectoryLauncher> launch(Outcome &failure) {
        const std::string schema = find_schema(veldldap::schema_file_name(kind_.flavour));
        if (schema.empty()) {
            failure = tool_failure("demo", "the velmor schema (share/veldldap/schema) was not found",
                                   "install veldldap completely, or run veldir from its build tree",
                                   kExitConfiguration);
            return nullptr;
        }
        veldldap::DirectoryLaunchOptions options;
        options.suffix = kSuffix;
        options.root_dn = kRootDn;
        options.root_password = kRootPassword;
        options.schema_files = {schema};
        options.make_tls = true;
        std::unique_ptr<veldldap::DirectoryLauncher> server =
            veldldap::make_directory_launcher(kind_.flavour, std::move(options));
        // A signal while the server is made stops the making; the directory goes with `server`.
        std::string error;
        const bool ready = server->prepare(error) && g_signal == 0 && server->load_ldif(kSampleEntries, error) &&
                           g_signal == 0 && server->start(error);
        if (g_signal != 0) {
            failure = signal_failure();
            return server;
        }
        if (!ready) {
            failure = tool_failure("start " + std::string(kind_.name), error,
                                   "the demo needs " + std::string(kind_.programs), kExitConfiguration);
            return server;
        }
        signals_.watch(server->pid());
        report_.started({.url = server->url(),
                         .suffix = kSuffix,
                         .directory = server->directory(),
                         .init = masked_init_string(init_string(*server)),
                         .ca_file = server->tls()->ca_certificate});
        return server;
    }

    static std::string init_string(const veldldap::DirectoryLauncher &server) {
        return "starttls " + server.url() + "/" + kBase + "????bindname=" + kRootDn + "?" + kRootPassword;
    }

    Outcome lifecycle(veldldap::DirectoryLauncher &server) {
        ConnectionSettings &settings = connection_.settings;
        settings.init = init_string(server);
        settings.ca = server.tls()->ca_certificate;
        settings.timelimit = kDemoTimelimit;
        settings.driver = invocation_.driver.value_or(default_driver_path());

        if (Outcome failure = step("load driver", [&] { return load_driver(settings.driver, connection_.driver); },
                                   settings.driver))
            return failure;
        connection_.session = std::make_unique<Session>(connection_.driver, settings);
        Session &session = *connection_.session;
        if (Outcome failure = step("open", [&] { return session.open(); },
                                   [&] { return "interface version " + std::to_string(session.interface_version()); }))
            return failure;
        if (Outcome failure = step("bind", [&] { return session.bind(); },
                                   "StartTLS, then simple bind as " + std::string(kRootDn)))
            return failure;
        std::vector<Entry> entries;
        if (Outcome failure = step("search", [&] { return session.search(entries); }, "", Found{&entries, true}))
            return failure;

        ObjectBuilder created;
        for (const char *assignment : {"velmorService=inventory", "velmorVersion=1", "velmorStatus=0",
                                       "velmorAddress=tcp#0#demo-new.example 6000", "velmorServername=demo-new"})
            created.add_assignment(assignment);
        if (Outcome failure = step("add", [&] { return session.add(kNewEntry, created); }, kNewServer))
            return failure;
        if (Outcome failure = read_new(session)) return failure;

        ObjectBuilder changes;
        for (const char *assignment : {"velmorStatus=2", "velmorAddress=tcp#0#demo-new.example 6000",
                                       "velmorAddress=tcp#1#demo-new.example 6001 ssl"})
            changes.add_assignment(assignment);
        if (Outcome failure = step("modify", [&] { return session.modify(kNewEntry, changes); },
                                   "velmorStatus=2, two addresses"))
            return failure;
        if (Outcome failure = read_new(session)) return failure;
        if (Outcome failure = step("delete", [&] { return session.remove(kNewEntry); }, kNewServer))
            return failure;
        if (Outcome failure = step("read again", [&] { return expect_gone(session); }, "DLDAP_ERR_NOENTRY, as expected"))
            return failure;
        if (Outcome failure = step("unbind", [&] { return session.unbind(); }, "")) return failure;
        return step("close", [&] { return session.close(); }, "");
    }

    Outcome read_new(Session &session) {
        std::vector<Entry> entries;
        return step("read", [&] { return session.read(kNewEntry, entries); }, kNewServer, Found{&entries, false});
    }

    static Outcome expect_gone(Session &session) {
        std::vector<Entry> entries;
        Outcome failure = session.read(kNewEntry, entries);
        if (failure && failure->from_driver && failure->comp.dcl_provstatus == DLDAP_ERR_NOENTRY) return std::nullopt;
        if (failure) return failure;
        return tool_failure("read again", "the deleted entry is still there", "", kExitOperationFailed);
    }

    // The entries a step finds, shown as a listing or as each entry's details.
    struct Found {
        std::vector<Entry> *entries = nullptr;
        bool listing = false;
    };

    // `note` is a text, or a function giving it once the step has run.
    template <typename Action, typename Note>
    Outcome step(const std::string &name, Action action, const Note &note, Found found = {}) {
        const veldldap::StepTimer timer;
        Outcome failure = g_signal != 0 ? Outcome(signal_failure()) : action();
        DemoStep shown;
        shown.name = name;
        shown.ok = !failure;
        shown.milliseconds = timer.milliseconds();
        if (!failure) {
            if constexpr (std::is_invocable_v<Note>) shown.note = note();
            else shown.note = note;
            if (found.entries != nullptr) {
                shown.entries = std::move(*found.entries);
                shown.listing = found.listing;
                shown.details = !found.listing;
            }
        }
        report_.step(shown);
        return failure;
    }

    // A signal or the deadline explains a failing step better than the step does.
    Outcome final_failure(Outcome failure) {
        if (alarm_clock::deadline_passed())
            return tool_failure("demo", "the deadline passed; the server was stopped", "", kExitDeadline);
        if (g_signal != 0) return signal_failure();
        return failure;
    }

    static Failure signal_failure() {
        const int number = g_signal;
        const char *name = ::sigabbrev_np(number);
        return tool_failure("demo", std::string("interrupted by SIG") + (name != nullptr ? name : "?"), "",
                            128 + number);
    }

    SignalGuard signals_;  // first: it outlives everything the demo cleans up
    const Invocation &invocation_;
    const ServerKind &kind_;
    DemoReport &report_;
    std::ostream &err_;
    Connection connection_;
};

}  // namespace

int run_demo(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    const std::unique_ptr<DemoReport> report = make_demo_report(invocation.format, out, screen_width(STDOUT_FILENO));
    return Demo(invocation, *report, err).run();
}
