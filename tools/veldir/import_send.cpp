#include "import_send.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <sstream>
#include <thread>

#include "connection.h"
#include "exit_codes.h"
#include "init_string_check.h"
#include "output.h"
#include "progress_bar.h"

namespace {

using QueuedEntry = std::unique_ptr<ImportEntry>;

// Entries read ahead for each session: a few dozen kilobytes each, however large the file.
constexpr std::size_t kQueuedPerSession = 32;

constexpr const char *kExistsHint = "the entry exists already: import with --existing skip or --existing replace";

// Entries between the thread that reads the file and the sessions.  The
// reader refills it in bursts once it has drained to half, so that the
// threads wake each other once per burst rather than once per entry.
class EntryQueue {
public:
    explicit EntryQueue(std::size_t capacity) : capacity_(capacity) {}

    // False when the sending stopped; the entry then stays with the caller.
    bool push(QueuedEntry &entry) {
        std::unique_lock lock(mutex_);
        if (!stopped_ && entries_.size() >= capacity_) {
            reader_waiting_ = true;
            not_full_.wait(lock, [&] { return stopped_ || entries_.size() <= capacity_ / 2; });
            reader_waiting_ = false;
        }
        if (stopped_) return false;
        entries_.push_back(std::move(entry));
        if (sessions_waiting_ > 0) not_empty_.notify_one();
        return true;
    }

    // Null once the queue is closed and empty, or the sending stopped.
    QueuedEntry pop() {
        std::unique_lock lock(mutex_);
        ++sessions_waiting_;
        not_empty_.wait(lock, [&] { return stopped_ || closed_ || !entries_.empty(); });
        --sessions_waiting_;
        if (stopped_ || entries_.empty()) return nullptr;
        QueuedEntry entry = std::move(entries_.front());
        entries_.pop_front();
        if (reader_waiting_ && entries_.size() <= capacity_ / 2) not_full_.notify_one();
        return entry;
    }

    void close() { set(closed_); }
    void stop() { set(stopped_); }

    // What no session took.
    std::deque<QueuedEntry> take_rest() {
        const std::lock_guard lock(mutex_);
        return std::exchange(entries_, {});
    }

private:
    void set(bool &flag) {
        const std::lock_guard lock(mutex_);
        flag = true;
        not_full_.notify_all();
        not_empty_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable not_full_, not_empty_;
    std::deque<QueuedEntry> entries_;
    std::size_t capacity_;
    int sessions_waiting_ = 0;
    bool reader_waiting_ = false;
    bool closed_ = false;
    bool stopped_ = false;
};

TalliedEntry tallied(const ImportEntry &entry, std::optional<Failure> failure = std::nullopt) {
    return {entry.line, entry.shown(), std::move(failure)};
}

// An entry whose answer was lost, to be settled by reading it again.
struct InDoubt {
    int line;
    EntryName name;
    bool modified;  // a replace was under way: the entry was there either way
    Failure failure;
};

// Which write of an entry lost its answer, across the servers it was sent to.
enum class LostWrite { none, add, modify };

// One entry on its way: sent, and sent again on the next server when the
// connection failed under it.
struct EntryInFlight {
    ImportEntry &entry;
    LostWrite lost = LostWrite::none;
};

class Sender {
public:
    Sender(const Invocation &invocation, ImportTally &tally, EntryQueue &queue)
        : invocation_(invocation), tally_(tally), queue_(queue) {}

    // The body of one session's thread.
    void run() {
        try {
            run_session();
        } catch (...) {
            const std::lock_guard lock(mutex_);
            if (!error_) error_ = std::current_exception();
            queue_.stop();
        }
    }

    // After every session ended: settle the entries whose answer was lost.
    void settle_in_doubt(std::ostream &err) {
        if (in_doubt_.empty()) return;
        Connection connection;
        const Outcome failure = connect(invocation_, connection, true);
        // Once no server is left, the entries after stay unknown without asking.
        for (InDoubt &entry : in_doubt_) settle(entry, failure || !connection.session ? nullptr : &connection);
        connection.disconnect(err);
    }

    void rethrow_failure() const {
        if (error_) std::rethrow_exception(error_);
    }

    SendResult result(std::ostream &err) const {
        SendResult result;
        if (failed_sessions_ == invocation_.jobs) result.no_session = first_connect_failure_;
        else if (failed_sessions_ > 0)
            err << "veldir: warning: " << failed_sessions_ << " of " << invocation_.jobs
                << " sessions could not be opened, the others did the work: "
                << failure_lines(*first_connect_failure_).front() << '\n';
        result.lost = lost_;
        result.servers = servers_;
        std::sort(result.servers.moves.begin(), result.servers.moves.end(),
                  [](const ServerMove &left, const ServerMove &right) { return left.line < right.line; });
        return result;
    }

    const std::string &warnings() const { return warnings_; }

private:
    void run_session() {
        Connection connection;
        Outcome failure;
        {
            // Loading the driver and opening sessions touch process-wide state of veldir's: one at a time.
            const std::lock_guard lock(connect_mutex_);
            failure = connect(invocation_, connection, true);
        }
        // A move to another server opens a session too.
        connection.opening = &connect_mutex_;
        if (!failure) {
            note_served(connection, nullptr);
            while (connection.session) {
                QueuedEntry entry = queue_.pop();
                if (!entry) break;
                handle(connection, *entry);
            }
        }
        std::ostringstream warnings;
        connection.disconnect(warnings);
        const std::lock_guard lock(mutex_);
        warnings_ += warnings.str();
        if (!failure) return;
        if (!first_connect_failure_) first_connect_failure_ = failure;
        // Without any session, the entries would wait for ever.
        if (++failed_sessions_ == invocation_.jobs) queue_.stop();
    }

    void handle(Connection &connection, ImportEntry &entry) {
        if (!entry.ok)
            return tally_.record(ImportOutcome::refused,
                                 tallied(entry, tool_failure("import", "the entry is not what the check pass read",
                                                             "the file changed while it was imported",
                                                             kExitOperationFailed)));
        EntryInFlight flight{entry};
        std::size_t passed = connection.passed_over.size();
        Outcome failure = run_with_failover(connection, [&](Session &session, bool repeated) {
            if (repeated) {
                note_served(connection, &entry, passed);
                passed = connection.passed_over.size();
            }
            return invocation_.dry_run ? probe(session, flight) : send(session, flight);
        });
        if (!failure) return;
        // No server is left: the sending stops here.
        if (flight.lost != LostWrite::none) return lose(entry, flight.lost == LostWrite::modify, *failure);
        note_lost(entry, *failure);
        tally_.record(ImportOutcome::not_tried, tallied(entry, failure));
    }

    // A failure another server may not have: given back to move on; the
    // entry is then in doubt when the write's answer was lost.
    static Outcome give_back(EntryInFlight &flight, Failure failure, LostWrite write) {
        if (answer_lost(failure)) flight.lost = write;
        return failure;
    }

    static bool server_failed(const Failure &failure) { return moves_to_next_server(failure) || answer_lost(failure); }

    Outcome send(Session &session, EntryInFlight &flight) {
        ImportEntry &entry = flight.entry;
        Outcome failure = session.add(*entry.name, *entry.object);
        if (!failure) return record(ImportOutcome::added, tallied(entry));
        if (server_failed(*failure)) return give_back(flight, std::move(*failure), LostWrite::add);
        if (!already_exists(*failure)) return record(ImportOutcome::refused, tallied(entry, failure));
        // The add whose answer was lost reached the server that failed, and the entry came here by replication.
        if (flight.lost == LostWrite::add && holds_as_given(session, entry))
            return record(ImportOutcome::added, tallied(entry));
        switch (invocation_.existing) {
        case ExistingPolicy::fail:
            failure->hint = kExistsHint;
            return record(ImportOutcome::refused, tallied(entry, failure));
        case ExistingPolicy::skip:
            return record(ImportOutcome::skipped, tallied(entry));
        case ExistingPolicy::replace:
            return replace(session, flight);
        }
        return std::nullopt;
    }

    Outcome replace(Session &session, EntryInFlight &flight) {
        ImportEntry &entry = flight.entry;
        Outcome failure = session.modify(*entry.name, *entry.object);
        if (!failure) return record(ImportOutcome::replaced, tallied(entry));
        if (server_failed(*failure)) return give_back(flight, std::move(*failure), LostWrite::modify);
        return record(ImportOutcome::refused, tallied(entry, failure));
    }

    static bool holds_as_given(Session &session, ImportEntry &entry) {
        std::vector<Entry> found;
        if (session.read(*entry.name, found) || found.size() != 1) return false;
        return comparable_values(found.front()) == comparable_values(entry_from_object(*entry.object->object()));
    }

    // A dry run: what would happen, told by reading the entry.
    Outcome probe(Session &session, EntryInFlight &flight) {
        ImportEntry &entry = flight.entry;
        std::vector<Entry> found;
        Outcome failure = session.read(*entry.name, found);
        if (failure && no_such_entry(*failure)) return record(ImportOutcome::added, tallied(entry));
        if (failure && server_failed(*failure)) return failure;
        if (failure) return record(ImportOutcome::refused, tallied(entry, failure));
        static constexpr ImportOutcome kWhenThere[] = {ImportOutcome::refused, ImportOutcome::skipped,
                                                       ImportOutcome::replaced};
        const ImportOutcome outcome = kWhenThere[static_cast<std::size_t>(invocation_.existing)];
        std::optional<Failure> reason;
        if (outcome == ImportOutcome::refused)
            reason = tool_failure("add " + entry.shown(), "the entry is there", kExistsHint, kExitOperationFailed);
        return record(outcome, tallied(entry, reason));
    }

    Outcome record(ImportOutcome outcome, TalliedEntry entry) {
        tally_.record(outcome, std::move(entry));
        return std::nullopt;
    }

    // The server the connection serves from now; after a move (`entry`
    // set), also the servers passed over since `passed` with the entry in flight.
    void note_served(const Connection &connection, const ImportEntry *entry, std::size_t passed = 0) {
        const std::lock_guard lock(mutex_);
        servers_.listed = connection.settings.inits.size();
        const std::pair<std::size_t, std::string> server{connection.server + 1, server_label(connection.init())};
        if (std::find(servers_.served.begin(), servers_.served.end(), server) == servers_.served.end())
            servers_.served.push_back(server);
        if (entry == nullptr) return;
        ServerMove move{entry->line, entry->shown(), {}, server.first, server.second};
        move.passed_over.assign(connection.passed_over.begin() + static_cast<std::ptrdiff_t>(passed),
                                connection.passed_over.end());
        servers_.moves.push_back(std::move(move));
    }

    void lose(ImportEntry &entry, bool modified, const Failure &failure) {
        note_lost(entry, failure);
        const std::lock_guard lock(mutex_);
        in_doubt_.push_back({entry.line, *entry.name, modified, failure});
    }

    void note_lost(const ImportEntry &entry, const Failure &failure) {
        const std::lock_guard lock(mutex_);
        if (!lost_ || entry.line < lost_->line) lost_ = LostConnection{entry.line, entry.shown(), failure};
        queue_.stop();
    }

    void settle(const InDoubt &entry, Connection *connection) {
        TalliedEntry record{entry.line, entry.name.value, entry.failure};
        std::vector<Entry> found;
        const Outcome failure =
            connection == nullptr
                ? Outcome(entry.failure)
                : run_with_failover(*connection, [&](Session &session, bool) { return session.read(entry.name, found); });
        if (!failure && !entry.modified) return tally_.record(ImportOutcome::added, std::move(record));
        if (failure && no_such_entry(*failure)) return tally_.record(ImportOutcome::not_tried, std::move(record));
        tally_.record(ImportOutcome::unknown, std::move(record));
    }

    const Invocation &invocation_;
    ImportTally &tally_;
    EntryQueue &queue_;
    std::mutex connect_mutex_;
    std::mutex mutex_;  // guards everything below
    int failed_sessions_ = 0;
    std::optional<Failure> first_connect_failure_;
    std::optional<LostConnection> lost_;
    std::vector<InDoubt> in_doubt_;
    ServerUse servers_;
    std::string warnings_;
    std::exception_ptr error_;
};

// Session threads that are stopped and joined however the reading ends.
class SessionThreads {
public:
    SessionThreads(int count, Sender &sender, EntryQueue &queue) : queue_(queue) {
        for (int i = 0; i < count; ++i) threads_.emplace_back([&sender] { sender.run(); });
    }
    ~SessionThreads() {
        queue_.stop();
        join();
    }
    void finish() {
        queue_.close();
        join();
    }

private:
    void join() {
        for (std::thread &thread : threads_)
            if (thread.joinable()) thread.join();
    }

    EntryQueue &queue_;
    std::vector<std::thread> threads_;
};

// The bar moves in steps of about half a percent: drawing it for every entry would cost more than the entry.
std::size_t progress_step(std::size_t entries) { return std::max<std::size_t>(1, entries / 200); }

}  // namespace

SendResult send_import_file(const Invocation &invocation, const ImportFile &file, const NamingRules &rules,
                            std::size_t entries, ImportTally &tally, std::ostream &err) {
    EntryQueue queue(kQueuedPerSession * static_cast<std::size_t>(invocation.jobs));
    Sender sender(invocation, tally, queue);
    {
        SessionThreads sessions(invocation.jobs, sender, queue);
        ProgressBar progress(err, entries, invocation.progress && is_terminal(2));
        const std::unique_ptr<std::istream> in = file.read();
        const std::unique_ptr<ImportReader> reader = ImportReader::open(*in, file.format(), rules);
        std::vector<ImportProblem> problems;  // the check pass reported them
        std::size_t handed = 0;
        for (ImportEntry entry; reader->next(entry, problems); problems.clear()) {
            const std::string name = entry.shown();
            QueuedEntry queued = std::make_unique<ImportEntry>(std::move(entry));
            if (!queue.push(queued)) {
                tally.record(ImportOutcome::not_tried, tallied(*queued));
                continue;
            }
            if (++handed % progress_step(entries) == 0) progress.show(handed, name);
        }
        sessions.finish();
        progress.show(handed, "done");
    }
    for (const QueuedEntry &entry : queue.take_rest()) tally.record(ImportOutcome::not_tried, tallied(*entry));
    sender.rethrow_failure();
    sender.settle_in_doubt(err);
    err << sender.warnings();
    return sender.result(err);
}
