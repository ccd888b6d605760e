/*
 * What the demos share: the throw-away directory's contents (suffix o=demo,
 * a root account, the velmor schema, three sample entries, StartTLS from a
 * throw-away CA), the steps, each timed and reported as it ends, and the
 * end that names what stopped the demo (a signal, the deadline or a step).
 * The demo on one server is command_demo.cpp; the replicated pair with a
 * server stopped under the run, demo_replicated.cpp.
 */
#ifndef VELDIR_DEMO_RUN_H
#define VELDIR_DEMO_RUN_H

#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "cli.h"
#include "connection.h"
#include "demo_report.h"
#include "demo_signals.h"
#include "directory_launcher.h"
#include "step_timer.h"

namespace demo {

inline constexpr const char *kSuffix = "o=demo";
inline constexpr const char *kBase = "ou=servers,o=demo";
inline constexpr const char *kRootDn = "cn=admin,o=demo";
inline constexpr const char *kRootPassword = "demo-secret";  // 389 DS wants eight characters at least
inline constexpr int kTimelimit = 10;
extern const char *const kSampleEntries;

// The launch options of a demo server of that kind; the schema is empty
// when it cannot be found.
veldldap::DirectoryLaunchOptions launch_options(veldldap::DirectoryFlavour flavour);

// StartTLS, bound as the root account, below kBase.
std::string init_string(const std::string &url);

// A server entry below kBase with a few values.
EntryName entry_name(const std::string &server_name);
void fill_object(ObjectBuilder &object, const std::string &server_name, const std::string &service);

}  // namespace demo

class DemoRun {
protected:
    DemoRun(const Invocation &invocation, DemoReport &report, std::ostream &err)
        : invocation_(invocation), report_(report), err_(err) {}

    // The entries a step finds, shown as a listing or as each entry's details.
    struct Found {
        std::vector<Entry> *entries = nullptr;
        bool listing = false;
    };

    // Runs and reports one step; `note` is a text, or a function giving it
    // once the step has run.  A signal that arrived fails the step unrun.
    template <typename Action, typename Note>
    Outcome step(const std::string &name, Action action, const Note &note, Found found = {}) {
        const veldldap::StepTimer timer;
        Outcome failure = DemoSignals::arrived() != 0 ? Outcome(DemoSignals::interrupted()) : action();
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

    // The settings of a connection to `urls`, in this order, with the demo's CA.
    ConnectionSettings settings_for(const std::vector<std::string> &urls, const std::string &ca_file) const;

    // The failure that ends the demo, the exit code once the servers are gone.
    int finish(Outcome failure, bool started);

    // A signal or the deadline explains a failing step better than the step does.
    static Outcome final_failure(Outcome failure);

    DemoSignals signals_;  // first: it outlives everything the demo cleans up
    const Invocation &invocation_;
    DemoReport &report_;
    std::ostream &err_;
};

// The demo on two slapd providers that replicate each other.
int run_replicated_demo(const Invocation &invocation, DemoReport &report, std::ostream &err);

#endif
