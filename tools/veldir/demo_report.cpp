#include "demo_report.h"

#include <iomanip>
#include <sstream>
#include <string_view>

#include "json_writer.h"
#include "log_directory.h"
#include "terminal_text.h"

namespace {

constexpr std::string_view kIndent = "      ";  // listings and entries below their step

class TextReport : public DemoReport {
public:
    TextReport(std::ostream &out, std::size_t width) : out_(out), width_(width) {}

    void starting(const std::string &, const std::string &what) override {
        out_ << "Starting " << what << " ..." << std::endl;
    }

    void started(const std::vector<DemoServer> &servers, const std::string &ca_file) override {
        several_ = servers.size() > 1;
        for (std::size_t i = 0; i < servers.size(); ++i)
            out_ << (several_ ? "  server " + std::to_string(i + 1) + ": " : "  ") << servers[i].url << "  suffix "
                 << servers[i].suffix << "  data in " << servers[i].directory << '\n';
        if (several_) {
            out_ << "\nInitialisation strings, one per server, tried in this order:\n";
            for (const DemoServer &server : servers) out_ << "  " << server.init << '\n';
        } else if (!servers.empty()) {
            out_ << "\nInitialisation string: " << servers.front().init << '\n';
        }
        out_ << "CA file: " << ca_file << "\n\n" << std::flush;
    }

    void step(const DemoStep &step) override {
        std::ostringstream line;
        line << std::setw(2) << ++number_ << ". " << std::left << std::setw(12) << step.name << std::setw(8)
             << (step.ok ? "ok" : "FAILED") << std::right << std::fixed << std::setprecision(1) << std::setw(8)
             << step.milliseconds << " ms  " << escape_controls(step.note);
        std::string text = line.str();
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out_ << text << '\n';
        std::ostringstream shown;
        const std::size_t room = width_ > kIndent.size() ? width_ - kIndent.size() : 0;
        if (step.listing) print_entry_list(shown, Format::table, step.entries, {.columns = {}, .width = room});
        if (step.details) print_entry_details(shown, Format::table, step.entries);
        std::istringstream lines(shown.str());
        for (std::string entry_line; std::getline(lines, entry_line);) out_ << kIndent << entry_line << '\n';
        out_ << std::flush;
    }

    void finished(const Outcome &failure, bool servers_removed) override {
        if (failure) {
            out_ << '\n';
            for (const std::string &line : failure_lines(*failure)) out_ << "  " << line << '\n';
        } else {
            out_ << "\nThe whole lifecycle worked.  The driver's log is " << log_directory::log_file() << ".\n";
        }
        if (servers_removed)
            out_ << (several_ ? "\nThe servers were stopped and their directories removed.\n"
                              : "\nThe server was stopped and its directory removed.\n");
        out_ << std::flush;
    }

private:
    std::ostream &out_;
    std::size_t width_;
    int number_ = 0;
    bool several_ = false;
};

class JsonReport : public DemoReport {
public:
    explicit JsonReport(std::ostream &out) : out_(out) {}

    void starting(const std::string &kind, const std::string &) override { kind_ = kind; }
    void started(const std::vector<DemoServer> &servers, const std::string &ca_file) override {
        servers_ = servers;
        ca_file_ = ca_file;
    }
    void step(const DemoStep &step) override { steps_.push_back(step); }

    void finished(const Outcome &failure, bool servers_removed) override {
        write_document(failure, servers_removed);
        out_ << std::flush;  // while the demo still catches SIGPIPE
    }

private:
    // "server" is the first (the only one but for --replicated), "servers" all of them.
    void write_document(const Outcome &failure, bool servers_removed) {
        JsonWriter json(out_);
        json.begin_object();
        json.key("ok").value(!failure);
        json.key("exit_code").value(failure ? failure->exit_code : 0);
        json.key("server").begin_object().key("kind").value(kind_);
        if (!servers_.empty()) write_server_members(json, servers_.front(), servers_removed);
        json.end_object();
        json.key("servers").begin_array();
        for (const DemoServer &server : servers_)
            write_server_members(json.begin_object(), server, servers_removed).end_object();
        json.end_array();
        if (!servers_.empty()) json.key("init").value(servers_.front().init).key("ca_file").value(ca_file_);
        json.key("steps").begin_array();
        for (const DemoStep &step : steps_) write_step(json, step);
        json.end_array();
        if (failure) {
            json.key("error").begin_object().key("step").value(failure->step);
            write_failure_members(json, *failure);
            json.end_object();
        }
        json.end_object();
    }

    static JsonWriter &write_server_members(JsonWriter &json, const DemoServer &server, bool removed) {
        json.key("url").value(server.url).key("suffix").value(server.suffix).key("init").value(server.init);
        return json.key("directory").value(server.directory).key("removed").value(removed);
    }

    static void write_step(JsonWriter &json, const DemoStep &step) {
        json.begin_object();
        json.key("step").value(step.name).key("ok").value(step.ok);
        json.key("milliseconds").value(step.milliseconds, 3);
        json.key("note").value(step.note);
        if (step.listing || step.details) {
            json.key("entries").begin_array();
            for (const Entry &entry : step.entries) write_json_entry(json, entry);
            json.end_array();
        }
        json.end_object();
    }

    std::ostream &out_;
    std::string kind_;
    std::vector<DemoServer> servers_;
    std::string ca_file_;
    std::vector<DemoStep> steps_;
};

}  // namespace

std::unique_ptr<DemoReport> make_demo_report(Format format, std::ostream &out, std::size_t width) {
    if (format == Format::json) return std::make_unique<JsonReport>(out);
    return std::make_unique<TextReport>(out, width);
}
