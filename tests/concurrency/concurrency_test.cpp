// Sessions on many threads at once against one slapd.  The threads are
// released together, so the first gdd_open of the process happens on all of
// them at the same moment: the client library must be loaded once and the
// log opened once, and no log line may be split.  Then, round after round,
// half the threads bind, read their own entry and list the container while
// the other half have their binds refused; each must only ever see its own
// correct answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/loaded_driver.h"
#include "support/log_file.h"
#include "support/session.h"
#include "support/slapd_server.h"
#include "veldldap/vocabulary.h"

namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 8;
constexpr int kRounds = 30;
const std::string kServiceOid(veldldap::vocabulary::find("velmorService")->oid);

std::string server_name(int index) { return "srv" + std::to_string(index); }
std::string service(int index) { return "service of thread " + std::to_string(index); }

// One entry per thread, each with a service of its own, so that a thread
// handed another thread's answer notices.
SlapdServer &server() {
    static SlapdServer running([] {
        SlapdOptions options;
        for (int i = 0; i < kThreads; ++i)
            options.initial_ldif += DirectoryServer::server_entry(server_name(i), "velmorService: " + service(i) + "\n");
        return options;
    }());
    return running;
}

std::string init_string(const std::string &password) {
    return "retry=0 " + server().url() + "/" + server().servers_base() + "????bindname=" +
           server().reader_dn() + "?" + password;
}

std::string dn_of(int index) {
    return "velmorServername=" + server_name(index) + "," + server().servers_base();
}

std::string text(const DCL_STRING &string) {
    return string.dcl_stringp ? std::string(string.dcl_stringp, static_cast<std::size_t>(string.dcl_length))
                              : std::string();
}

std::string value_of(const DCL_OBJECT &object, const std::string &oid) {
    for (CS_INT a = 0; a < object.dcl_attrlist.dcl_numattr; ++a) {
        const DCL_ATTRIBUTE &attribute = object.dcl_attrlist.dcl_attribute[a];
        if (oid == attribute.dcl_attrtype.dcl_oidp && attribute.dcl_numvalues == 1)
            return text(attribute.dcl_attrvalues[0].dcl_string);
    }
    return {};
}

// Worker threads report in words; the assertions stay on the main thread.
std::string failure(const std::string &call, const Session &session) {
    return call + " failed: provstatus " + std::to_string(session.comp.dcl_provstatus) + ", oserr " +
           std::to_string(session.comp.dcl_oserr);
}

std::string check_own_entry(const Session &session, int index) {
    const DCL_RESULT *result = session.result();
    if (result->dcl_numentries != 1) return "read: " + std::to_string(result->dcl_numentries) + " entries";
    const DCL_OBJECT &object = *result->dcl_objlist[0];
    if (text(object.dcl_dist_name) != dn_of(index)) return "read: got " + text(object.dcl_dist_name);
    if (value_of(object, kServiceOid) != service(index)) return "read: service " + value_of(object, kServiceOid);
    return {};
}

std::string check_listing(const Session &session) {
    const DCL_RESULT *result = session.result();
    std::set<std::string> names, expected;
    for (CS_INT e = 0; e < result->dcl_numentries; ++e) names.insert(text(result->dcl_objlist[e]->dcl_dist_name));
    for (int i = 0; i < kThreads; ++i) expected.insert(dn_of(i));
    return names == expected ? std::string() : "search: " + std::to_string(names.size()) + " entries";
}

int open_log_descriptors() {
    int count = 0;
    for (const auto &fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code not_a_link;
        count += fs::read_symlink(fd.path(), not_a_link).filename() == "libveldldap.log" ? 1 : 0;
    }
    return count;
}

// One log for the process, begun by one of the opens and lost by none of
// them, with every message a whole line of its own.
void expect_one_whole_log(int opens) {
    EXPECT_EQ(open_log_descriptors(), 1);
    EXPECT_EQ(log_count("!!!! gdd__load_ldap_provider succeeded !!!!\n"), 1);
    EXPECT_EQ(log_count("!gdd_open!\n"), opens) << "a second truncating open would lose some";
    ASSERT_FALSE(log_messages().empty());
    EXPECT_EQ(log_messages().front(), "!gdd_open!\n");

    static const std::regex whole_line(R"(--\(line +[0-9]+\)--: [^\n]*)");
    const std::string log = log_text();
    EXPECT_TRUE(log.ends_with('\n'));
    std::istringstream lines(log);
    int broken = 0;
    for (std::string line; std::getline(lines, line);)
        if (!std::regex_match(line, whole_line) || line.find("--(line ", 1) != std::string::npos)
            if (++broken <= 5) ADD_FAILURE() << "log line not whole: " << line;
    EXPECT_EQ(broken, 0);
}

// One thread's session, opened when all threads start and bound once all
// have opened.  Refused binds release their LDAP session on one thread while
// good ones work on the next: each keeps its own code and errno.
std::string session_of_thread(int index, std::latch &opened) {
    const bool refused = index % 2 == 1;
    Session session(init_string(refused ? "not-the-password" : server().reader_password()));
    opened.arrive_and_wait();
    if (session.opened_with != CS_SUCCEED) return failure("open", session);
    for (int round = 0; round < kRounds; ++round) {
        if (refused) {
            if (session.bind() != CS_FAIL || session.comp.dcl_provstatus != 10 || session.comp.dcl_oserr != 49 ||
                session.state().ld != nullptr)
                return failure("refused bind", session);
            continue;
        }
        if (session.bind() != CS_SUCCEED) return failure("bind", session);
        if (session.read(server_name(index)) != CS_SUCCEED) return failure("read", session);
        if (std::string wrong = check_own_entry(session, index); !wrong.empty()) return wrong;
        if (session.search() != CS_SUCCEED) return failure("search", session);
        if (std::string wrong = check_listing(session); !wrong.empty()) return wrong;
        if (session.unbind() != CS_SUCCEED) return failure("unbind", session);
    }
    return {};
}

}  // namespace

TEST(Concurrency, SessionsOpenedTogetherShareOneProviderAndOneLogAndKeepTheirOwnCodes) {
    driver();  // the driver itself is loaded here, so that its first gdd_open ...
    server();  // ... and nothing else happens on all threads together
    std::latch start(kThreads), opened(kThreads);
    std::vector<std::string> reports(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                reports[static_cast<std::size_t>(i)] = session_of_thread(i, opened);
            });
    }
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(reports[static_cast<std::size_t>(i)], "") << "thread " << i;
    constexpr int kEach = kThreads / 2 * kRounds;
    EXPECT_EQ(log_count("ldap_simple_bind failed: \"Invalid credentials\"(49)\n"), kEach);
    EXPECT_EQ(log_count("Errno = 0\n"), kEach);
    EXPECT_EQ(log_count("LDAP_SIMPLE_BIND succeeded\n"), kEach);
    EXPECT_EQ(log_count("LDAP_SEARCH_ST succeeded\n"), 2 * kEach);
    EXPECT_EQ(log_count("Freeing DLDAP_HANDLE\n"), kThreads);
    expect_one_whole_log(kThreads);
}
