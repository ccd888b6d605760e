#include "import_send.h"

#include <ldap.h>
#include <pthread.h>

#include <csignal>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <sstream>
#include <thread>

#include "connection.h"
#include "exit_codes.h"
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

// No answer came back: the server went away or stopped answering.
bool answer_lost(const Failure &failure) {
    if (!failure.from_driver) return false;
    const CS_INT code = failure.comp.dcl_oserr;
    return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT;
}

bool already_exists(const Failure &failure) {
    return failure.from_driver && failure.comp.dcl_oserr == LDAP_ALREADY_EXISTS;
}

bool no_such_entry(const Failure &failure) {
    return failure.from_driver && failure.comp.dcl_provstatus == DLDAP_ERR_NOENTRY;
}

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

class Sender {
public:
    Sender(const Invocation &invocation, ImportTally &tally, EntryQueue &queue)
        : invocation_(invocation), tally_(tally), queue_(queue) {}

    // The body of one session's thread.
    void run() {
        // A write to a connection the server closed raises SIGPIPE in the
        // writing thread; blocked here, the write fails and the driver
        // reports the lost connection instead of the signal ending veldir.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
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
        for (InDoubt &entry : in_doubt_) settle(entry, failure ? nullptr : connection.session.get());
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
        if (!failure) {
            while (QueuedEntry entry = queue_.pop()) handle(*connection.session, *entry);
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

    void handle(Session &session, ImportEntry &entry) {
        if (!entry.ok)
            return tally_.record(ImportOutcome::refused,
                                 tallied(entry, tool_failure("import", "the entry is not what the check pass read",
                                                             "the file changed while it was imported",
                                                             kExitOperationFailed)));
        if (invocation_.dry_run) return probe(session, entry);
        Outcome failure = session.add(*entry.name, *entry.object);
        if (!failure) return tally_.record(ImportOutcome::added, tallied(entry));
        if (answer_lost(*failure)) return lose(entry, false, *failure);
        if (!already_exists(*failure)) return tally_.record(ImportOutcome::refused, tallied(entry, failure));
        switch (invocation_.existing) {
        case ExistingPolicy::fail:
            failure->hint = kExistsHint;
            return tally_.record(ImportOutcome::refused, tallied(entry, failure));
        case ExistingPolicy::skip:
            return tally_.record(ImportOutcome::skipped, tallied(entry));
        case ExistingPolicy::replace:
            return replace(session, entry);
        }
    }

    void replace(Session &session, ImportEntry &entry) {
        Outcome failure = session.modify(*entry.name, *entry.object);
        if (!failure) return tally_.record(ImportOutcome::replaced, tallied(entry));
        if (answer_lost(*failure)) return lose(entry, true, *failure);
        tally_.record(ImportOutcome::refused, tallied(entry, failure));
    }

    // A dry run: what would happen, told by reading the entry.
    void probe(Session &session, ImportEntry &entry) {
        std::vector<Entry> found;
        Outcome failure = session.read(*entry.name, found);
        if (failure && no_such_entry(*failure)) return tally_.record(ImportOutcome::added, tallied(entry));
        if (failure && answer_lost(*failure)) {
            note_lost(entry, *failure);
            return tally_.record(ImportOutcome::not_tried, tallied(entry, failure));
        }
        if (failure) return tally_.record(ImportOutcome::refused, tallied(entry, failure));
        static constexpr ImportOutcome kWhenThere[] = {ImportOutcome::refused, ImportOutcome::skipped,
                                                       ImportOutcome::replaced};
        const ImportOutcome outcome = kWhenThere[static_cast<std::size_t>(invocation_.existing)];
        std::optional<Failure> reason;
        if (outcome == ImportOutcome::refused)
            reason = tool_failure("add " + entry.shown(), "the entry is there", kExistsHint, kExitOperationFailed);
        tally_.record(outcome, tallied(entry, reason));
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

    void settle(const InDoubt &entry, Session *session) {
        TalliedEntry record{entry.line, entry.name.value, entry.failure};
        std::vector<Entry> found;
        const Outcome failure = session == nullptr ? Outcome(entry.failure) : session->read(entry.name, found);
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
