/*
 * What the demo shows, in words or as JSON.  The demo tells its report what
 * happens (the servers started, each step with its time, the end); the words
 * go out as they happen, so a user watches the lifecycle, while JSON is one
 * document at the end (with --json), like check's.
 */
#ifndef VELDIR_DEMO_REPORT_H
#define VELDIR_DEMO_REPORT_H

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "entry.h"
#include "output.h"
#include "session.h"

struct DemoServer {
    std::string url;
    std::string suffix;
    std::string directory;  // removed at the end
    std::string init;       // the initialisation string, password masked
};

struct DemoStep {
    std::string name;
    bool ok = false;
    double milliseconds = 0;
    std::string note;
    // What a search or read found: shown as a listing or as entry details.
    std::vector<Entry> entries;
    bool listing = false;
    bool details = false;
};

class DemoReport {
public:
    virtual ~DemoReport() = default;
    // `kind` as --server names it ("389ds"); `what` for people: "a
    // throw-away directory server (slapd, StartTLS with its own CA)".
    virtual void starting(const std::string &kind, const std::string &what) = 0;
    // The servers (two or more for a replicated directory) and their one CA.
    virtual void started(const std::vector<DemoServer> &servers, const std::string &ca_file) = 0;
    virtual void step(const DemoStep &step) = 0;
    // `failure` is what ended the demo early, if anything; `servers_removed`
    // whether servers had been started (and are gone now).
    virtual void finished(const Outcome &failure, bool servers_removed) = 0;
};

// `width`: the terminal's, for fitting listings; 0 for a pipe or a file.
std::unique_ptr<DemoReport> make_demo_report(Format format, std::ostream &out, std::size_t width);

#endif
