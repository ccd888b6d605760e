// demo: the whole lifecycle against a throw-away slapd that the tool starts
// on 127.0.0.1 with the velmor schema, sample entries and StartTLS from a
// throw-away CA.  Each step is shown with its result and time; the server is
// stopped and its directory removed at the end, after a failure, on Ctrl-C
// and when the --deadline passes.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <type_traits>

#include "alarm_clock.h"
#include "commands.h"
#include "connection.h"
#include "exit_codes.h"
#include "init_string_mask.h"
#include "output.h"
#include "slapd_launcher.h"
#include "step_timer.h"

#ifndef VELDIR_DATADIR_FROM_BINDIR
#define VELDIR_DATADIR_FROM_BINDIR "../share"
#endif

namespace {

constexpr const char *kSuffix = "o=demo";
constexpr const char *kBase = "ou=servers,o=demo";
constexpr const char *kRootDn = "cn=admin,o=demo";
constexpr const char *kRootPassword = "demo-secret";
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

std::atomic<pid_t> g_server{0};
std::atomic<bool> g_interrupted{false};

// Stopping the server makes the call in progress fail, and the demo then
// winds down on its normal path, removing the server's directory.
extern "C" void on_interrupt(int) {
    g_interrupted = true;
    const pid_t server = g_server;
    if (server > 0) ::kill(server, SIGTERM);
}

class InterruptGuard {
public:
    InterruptGuard() {
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &previous_int_);
        ::sigaction(SIGTERM, &action, &previous_term_);
    }
    ~InterruptGuard() {
        ::sigaction(SIGINT, &previous_int_, nullptr);
        ::sigaction(SIGTERM, &previous_term_, nullptr);
        g_server = 0;
        alarm_clock::forget_child();
    }
    void watch(pid_t server) {
        g_server = server;
        alarm_clock::stop_child_on_deadline(server);
    }

private:
    struct sigaction previous_int_ {};
    struct sigaction previous_term_ {};
};

std::string find_schema() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path candidates[] = {
        executable.parent_path() / VELDIR_DATADIR_FROM_BINDIR / "veldldap/schema/velmor.schema",
        executable.parent_path() / "../share/veldldap/schema/velmor.schema",
        std::filesystem::path(VELDIR_SOURCE_SCHEMA_DIR) / "velmor.schema",
    };
    for (const std::filesystem::path &candidate : candidates)
        if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
    return "";
}

class Demo {
public:
    Demo(const Invocation &invocation, std::ostream &out) : invocation_(invocation), out_(out) {}

    int run() {
        const std::string schema = find_schema();
        if (schema.empty())
            return fail(tool_failure("demo", "the velmor schema (share/veldldap/schema/velmor.schema) was not found",
                                     "install veldldap completely, or run veldir from its build tree", kExitConfiguration));
        veldldap::SlapdLaunchOptions options;
        options.suffix = kSuffix;
        options.root_dn = kRootDn;
        options.root_password = kRootPassword;
        options.schema_files = {schema};
        options.make_tls = true;
        veldldap::SlapdLauncher server(options);
        InterruptGuard interrupts;
        out_ << "Starting a throw-away directory server (slapd, StartTLS with its own CA) ..." << std::endl;
        std::string error;
        if (!server.prepare(error) || !server.load_ldif(kSampleEntries, error) || !server.start(error))
            return fail(tool_failure("start slapd", error, "the demo needs slapd, slapadd and openssl", kExitConfiguration));
        interrupts.watch(server.pid());
        out_ << "  " << server.url() << "  suffix " << kSuffix << "  data in " << server.directory() << "\n\n";

        const int result = lifecycle(server);
        server.stop();
        out_ << "\nThe server was stopped and its directory removed.\n";
        return result;
    }

private:
    int lifecycle(veldldap::SlapdLauncher &server) {
        ConnectionSettings &settings = connection_.settings;
        settings.init = "starttls " + server.url() + "/" + kBase + "????bindname=" + kRootDn + "?" + kRootPassword;
        settings.ca = server.tls()->ca_certificate;
        settings.timelimit = kDemoTimelimit;
        settings.driver = invocation_.driver.value_or(default_driver_path());
        out_ << "Initialisation string: " << masked_init_string(settings.init) << "\nCA file: " << settings.ca << "\n\n";

        if (!step("load driver", [&] { return load_driver(settings.driver, connection_.driver); }, settings.driver))
            return finish();
        connection_.session = std::make_unique<Session>(connection_.driver, settings);
        Session &session = *connection_.session;
        if (!step("open", [&] { return session.open(); },
                  [&] { return "interface version " + std::to_string(session.interface_version()); }))
            return finish();
        if (!step("bind", [&] { return session.bind(); }, "StartTLS, then simple bind as " + std::string(kRootDn)))
            return finish();
        std::vector<Entry> entries;
        if (!step("search", [&] { return session.search(entries); }, "")) return finish();
        show_list(entries);

        ObjectBuilder created;
        for (const char *assignment : {"velmorService=inventory", "velmorVersion=1", "velmorStatus=0",
                                       "velmorAddress=tcp#0#demo-new.example 6000", "velmorServername=demo-new"})
            created.add_assignment(assignment);
        if (!step("add", [&] { return session.add(kNewEntry, created); }, kNewServer)) return finish();
        if (!read_and_show(session)) return finish();

        ObjectBuilder changes;
        for (const char *assignment : {"velmorStatus=2", "velmorAddress=tcp#0#demo-new.example 6000",
                                       "velmorAddress=tcp#1#demo-new.example 6001 ssl"})
            changes.add_assignment(assignment);
        if (!step("modify", [&] { return session.modify(kNewEntry, changes); },
                  "velmorStatus=2, two addresses"))
            return finish();
        if (!read_and_show(session)) return finish();
        if (!step("delete", [&] { return session.remove(kNewEntry); }, kNewServer)) return finish();
        if (!step("read again", [&] { return expect_gone(session); }, "DLDAP_ERR_NOENTRY, as expected"))
            return finish();
        if (!step("unbind", [&] { return session.unbind(); }, "")) return finish();
        if (!step("close", [&] { return session.close(); }, "")) return finish();
        out_ << "\nThe whole lifecycle worked.  The driver's log is libveldldap.log in the working directory.\n";
        return kExitOk;
    }

    bool read_and_show(Session &session) {
        std::vector<Entry> entries;
        if (!step("read", [&] { return session.read(kNewEntry, entries); }, kNewServer)) return false;
        std::ostringstream details;
        print_entry_details(details, Format::table, entries);
        indent(details.str());
        return true;
    }

    static Outcome expect_gone(Session &session) {
        std::vector<Entry> entries;
        Outcome failure = session.read(kNewEntry, entries);
        if (failure && failure->from_driver && failure->comp.dcl_provstatus == DLDAP_ERR_NOENTRY) return std::nullopt;
        if (failure) return failure;
        return tool_failure("read again", "the deleted entry is still there", "", kExitOperationFailed);
    }

    void show_list(const std::vector<Entry> &entries) {
        std::ostringstream listing;
        print_entry_list(listing, Format::table, entries);
        indent(listing.str());
    }

    void indent(const std::string &text) {
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) out_ << "      " << line << '\n';
        out_ << std::flush;
    }

    // `detail` is a text, or a function giving it once the step has run.
    template <typename Action, typename Detail>
    bool step(const std::string &name, Action action, const Detail &detail) {
        ++number_;
        const veldldap::StepTimer timer;
        Outcome failure = g_interrupted ? Outcome(interrupted_failure()) : action();
        std::ostringstream line;
        line << std::setw(2) << number_ << ". " << std::left << std::setw(12) << name << std::setw(8)
             << (failure ? "FAILED" : "ok") << std::right << std::fixed << std::setprecision(1) << std::setw(8)
             << timer.milliseconds() << " ms  ";
        if (!failure) {
            if constexpr (std::is_invocable_v<Detail>) line << detail();
            else line << detail;
        }
        std::string text = line.str();
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out_ << text << std::endl;
        if (failure) failure_ = std::move(failure);
        return !failure_;
    }

    Failure interrupted_failure() const {
        return tool_failure("demo", "interrupted", "", 128 + SIGINT);
    }

    int finish() {
        Outcome failure = std::move(failure_);
        connection_.disconnect(out_);
        if (alarm_clock::deadline_passed())
            failure = tool_failure("demo", "the deadline passed; the server was stopped", "", kExitDeadline);
        else if (g_interrupted)
            failure = interrupted_failure();
        out_ << '\n';
        for (const std::string &line : failure_lines(*failure)) out_ << "  " << line << '\n';
        return failure->exit_code;
    }

    int fail(const Failure &failure) {
        for (const std::string &line : failure_lines(failure)) out_ << "  " << line << '\n';
        return failure.exit_code;
    }

    const Invocation &invocation_;
    std::ostream &out_;
    Connection connection_;
    Outcome failure_;
    int number_ = 0;
};

}  // namespace

int run_demo(const Invocation &invocation, std::ostream &out, std::ostream &) {
    return Demo(invocation, out).run();
}
