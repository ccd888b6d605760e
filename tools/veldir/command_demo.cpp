// demo: the whole lifecycle against a throw-away directory server (slapd, or
// 389 Directory Server with --server 389ds) that the tool starts on
// 127.0.0.1 with the velmor schema, sample entries and StartTLS from a
// throw-away CA.  Each step is shown with its result and time.  The server
// is stopped and its directory removed at the end, whatever ends the demo
// (demo_signals.h).  --replicated runs demo_replicated.cpp instead.
#include <unistd.h>

#include <ostream>

#include "commands.h"
#include "demo_run.h"
#include "exit_codes.h"
#include "init_string_mask.h"
#include "output.h"
#include "terminal_text.h"

namespace {

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

const char *const kNewServer = "demo-new";

class Demo : public DemoRun {
public:
    Demo(const Invocation &invocation, DemoReport &report, std::ostream &err)
        : DemoRun(invocation, report, err), kind_(kind_of(invocation.server)) {}

    int run() {
        report_.starting(kind_.word,
                         "a throw-away directory server (" + std::string(kind_.name) + ", StartTLS with its own CA)");
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
        return finish(std::move(failure), started);
    }

private:
    std::unique_ptr<veldldap::DirectoryLauncher> launch(Outcome &failure) {
        veldldap::DirectoryLaunchOptions options = demo::launch_options(kind_.flavour);
        if (options.schema_files.empty()) {
            failure = tool_failure("demo", "the velmor schema (share/veldldap/schema) was not found",
                                   "install veldldap completely, or run veldir from its build tree",
                                   kExitConfiguration);
            return nullptr;
        }
        std::unique_ptr<veldldap::DirectoryLauncher> server =
            veldldap::make_directory_launcher(kind_.flavour, std::move(options));
        // A signal while the server is made stops the making; the directory goes with `server`.
        std::string error;
        const bool ready = server->prepare(error) && DemoSignals::arrived() == 0 &&
                           server->load_ldif(demo::kSampleEntries, error) && DemoSignals::arrived() == 0 &&
                           server->start(error);
        if (DemoSignals::arrived() != 0) {
            failure = DemoSignals::interrupted();
            return server;
        }
        if (!ready) {
            failure = tool_failure("start " + std::string(kind_.name), error,
                                   "the demo needs " + std::string(kind_.programs), kExitConfiguration);
            return server;
        }
        signals_.watch({server->pid()});
        report_.started({{.url = server->url(),
                          .suffix = demo::kSuffix,
                          .directory = server->directory(),
                          .init = masked_init_string(demo::init_string(server->url()))}},
                        server->tls()->ca_certificate);
        return server;
    }

    Outcome lifecycle(veldldap::DirectoryLauncher &server) {
        connection_.settings = settings_for({server.url()}, server.tls()->ca_certificate);
        ConnectionSettings &settings = connection_.settings;
        const EntryName created_name = demo::entry_name(kNewServer);

        if (Outcome failure = step("load driver", [&] { return load_driver(settings.driver, connection_.driver); },
                                   settings.driver))
            return failure;
        if (Outcome failure = step("open", [&] { return open_session(connection_); },
                                   [&] { return "interface version " + std::to_string(session().interface_version()); }))
            return failure;
        if (Outcome failure = step("bind", [&] { return session().bind(); },
                                   "StartTLS, then simple bind as " + std::string(demo::kRootDn)))
            return failure;
        std::vector<Entry> entries;
        if (Outcome failure = step("search", [&] { return session().search(entries); }, "", Found{&entries, true}))
            return failure;

        ObjectBuilder created;
        demo::fill_object(created, kNewServer, "inventory");
        if (Outcome failure = step("add", [&] { return session().add(created_name, created); }, kNewServer))
            return failure;
        if (Outcome failure = read_new(created_name)) return failure;

        ObjectBuilder changes;
        for (const char *assignment : {"velmorStatus=2", "velmorAddress=tcp#0#demo-new.example 6000",
                                       "velmorAddress=tcp#1#demo-new.example 6001 ssl"})
            changes.add_assignment(assignment);
        if (Outcome failure = step("modify", [&] { return session().modify(created_name, changes); },
                                   "velmorStatus=2, two addresses"))
            return failure;
        if (Outcome failure = read_new(created_name)) return failure;
        if (Outcome failure = step("delete", [&] { return session().remove(created_name); }, kNewServer))
            return failure;
        if (Outcome failure = step("read again", [&] { return expect_gone(created_name); },
                                   "DLDAP_ERR_NOENTRY, as expected"))
            return failure;
        if (Outcome failure = step("unbind", [&] { return session().unbind(); }, "")) return failure;
        return step("close", [&] { return session().close(); }, "");
    }

    Session &session() { return *connection_.session; }

    Outcome read_new(const EntryName &name) {
        std::vector<Entry> entries;
        return step("read", [&] { return session().read(name, entries); }, kNewServer, Found{&entries, false});
    }

    Outcome expect_gone(const EntryName &name) {
        std::vector<Entry> entries;
        Outcome failure = session().read(name, entries);
        if (failure && no_such_entry(*failure)) return std::nullopt;
        if (failure) return failure;
        return tool_failure("read again", "the deleted entry is still there", "", kExitOperationFailed);
    }

    const ServerKind &kind_;
    Connection connection_;
};

}  // namespace

int run_demo(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    if (invocation.replicated && invocation.server != veldldap::DirectoryFlavour::slapd) {
        print_usage_error(out, err, invocation.format,
                          "--replicated starts slapd providers, which replicate each other: not with --server 389ds");
        return kExitUsage;
    }
    const std::unique_ptr<DemoReport> report = make_demo_report(invocation.format, out, screen_width(STDOUT_FILENO));
    if (invocation.replicated) return run_replicated_demo(invocation, *report, err);
    return Demo(invocation, *report, err).run();
}
