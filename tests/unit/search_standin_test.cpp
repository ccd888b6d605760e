// Reads and searches against the scripted stand-in library: what is asked of
// the directory, how answers become DCL objects, how every failure of the
// search, the answer and the memory ends, and that nothing the library hands
// out is kept.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "host/test_host.h"
#include "ldap_alloc.h"
#include "ldap_search.h"
#include "support/alarm_brackets.h"
#include "support/loaded_driver.h"
#include "support/log_file.h"
#include "support/session.h"
#include "support/standin.h"
#include "veldldap/vocabulary.h"

namespace {

namespace vocabulary = veldldap::vocabulary;

// An attribute may come back named by its OID (as 389 DS does).
constexpr char kThreeServers[] =
    "dn: velmorServername=srv1, o=acme\nvelmorServername: srv1\nVELMORSTATUS: 7\n"
    "velmorAddress: TCP#0#h1 5000\nvelmorAddress:  \nobjectClass: velmorServer\n"
    VELDLDAP_ATTRIBUTE_OID(6) ": 1.2.3\n\n"
    "dn: velmorServername=srv2, o=acme\nvelmorServername: srv2\n\n"
    "dn: velmorServername=srv3, o=acme\nvelmorServername: srv3\nvelmorService: s\n\n";

std::string over_standin(const std::string &variant, const std::string &options) {
    Standin::use(variant);
    return (options.empty() ? "" : options + " ") + "ldap://127.0.0.1:389/o=acme";
}

// A bound session of the driver's internals over the stand-in, answering with
// three servers; at the end everything the stand-in handed out is back.
class StandinSession : public Session {
public:
    explicit StandinSession(const std::string &options = "retry=2 delay=0", int timelimit = 0,
                            const std::string &variant = "complete")
        : Session(over_standin(variant, options), timelimit, "", &driver_internals()), standin(Standin::use(variant)),
          without_msgfree_(variant == "without_msgfree") {
        EXPECT_EQ(bind(), CS_SUCCEED);
        standin.reset();
        standin.set_entries(kThreeServers);
        testhost::clear_events();
    }
    ~StandinSession() {
        close();
        if (without_msgfree_) standin.release_messages();
        EXPECT_EQ(standin.live_allocations(), 0);
    }
    void expect_failure(CS_INT provstatus, CS_INT oserr) const {
        EXPECT_EQ(codes(comp), std::tuple(1, provstatus, oserr));
    }

    Standin &standin;

private:
    bool without_msgfree_;
};

}  // namespace

TEST(ReadAndSearch, AskTheDirectoryForTheRightEntries) {
    const std::string dn = "velmorServername=srv1, o=acme", by_name = "base=o=acme|scope=1|filter=";
    const std::string oid = std::string(vocabulary::kNamingAttributeOid) + "=";
    const std::string by_dn = "base=" + dn + "|scope=0|filter=" + oid + "*";
    const std::tuple<std::string, CS_INT, std::string> cases[] = {
        {"srv1", 4, by_name + oid + "srv1"}, {"srv1-and-more", 4, by_name + oid + "srv1"},
        {dn, static_cast<CS_INT>(dn.size()), by_dn}, {dn, CS_NULLTERM, by_dn},
        {"*", CS_NULLTERM, by_name + oid + "*"},
        // A server name can neither close the filter nor add to it.
        {"x)(objectClass=*", CS_NULLTERM, by_name + oid + "x\\29\\28objectClass=*"},
        {"a\\2a*", CS_NULLTERM, by_name + oid + "a\\5c2a*"},
        {std::string("srv1\0)", 6), 6, by_name + oid + "srv1"},
    };
    // Every search asks for the vocabulary's attributes, in its order.
    std::string requested = "|timeout=none|attrs=";
    for (const vocabulary::Attribute &attribute : vocabulary::kAttributes)
        requested += (requested.ends_with('=') ? "" : ",") + std::string(attribute.oid);
    StandinSession session;
    for (const auto &[name, length, search] : cases) {
        EXPECT_EQ(session.read(name, length), CS_SUCCEED) << name;
        EXPECT_EQ(session.standin.last_search(), search + requested);
    }
    EXPECT_EQ(session.search(), CS_SUCCEED);
    EXPECT_EQ(session.standin.last_search(), by_name + oid + "*" + requested);
    EXPECT_EQ(log_count("Provided name is assumed to be a DN\n"), 2);

    const std::pair<int, const char *> limits[] = {{-1, "none"}, {30, "30"}, {-3, "-3"}};
    for (const auto &[timelimit, timeout] : limits) {
        StandinSession limited("retry=0", timelimit);
        EXPECT_EQ(limited.search(), CS_SUCCEED);
        EXPECT_NE(limited.standin.last_search().find(std::string("|timeout=") + timeout + "|"),
                  std::string::npos) << timelimit;
    }
    EXPECT_TRUE(log_contains("Calling LDAP_SEARCH_ST with timeout = -3\n"));
}

TEST(ReadAndSearch, SearchFailuresMapToTheirCodesAndKeepTheEmptyResult) {
    const std::tuple<long, int, CS_INT, CS_INT, const char *> cases[] = {
        {-1, EINTR, DLDAP_ERR_EINTR, EINTR, "LDAP_SEARCH_ST: (EINTR) INTERRUPTED SYSTEM CALL !!!.\n"},
        {32, EINTR, DLDAP_ERR_EINTR, EINTR, "LDAP_SEARCH_ST: (EINTR) INTERRUPTED SYSTEM CALL !!!.\n"},
        {49, 0, DLDAP_ERR_ACCESS, 49, "Insufficient access to perform the operation!!\n"},
        {50, 0, DLDAP_ERR_ACCESS, 50, "Insufficient access to perform the operation!!\n"},
        {3, 0, DLDAP_ERR_SEARCH, 3, "Unexpected ldap_search_st() failure!\n"},
    };
    StandinSession session("retry=0");
    for (const auto &[code, error_number, provstatus, oserr, log_line] : cases) {
        session.standin.script("ldap_search_st", code, error_number);
        EXPECT_EQ(session.search(), CS_FAIL);
        session.expect_failure(provstatus, oserr);
        EXPECT_EQ(log_messages().back(), log_line);
        ASSERT_NE(session.result(), nullptr);
        EXPECT_EQ(session.result()->dcl_name.dcl_stringp, nullptr);
    }
    session.standin.set_entries("");
    EXPECT_EQ(session.read("nobody"), CS_FAIL);
    session.expect_failure(DLDAP_ERR_NOENTRY, 0);
    ASSERT_NE(session.result(), nullptr);
    EXPECT_EQ(session.result()->dcl_objlist, nullptr);
    EXPECT_STREQ(session.result()->dcl_name.dcl_stringp, "o=acme");
    EXPECT_EQ(testhost::result_drops(), 0);
}

TEST(ReadAndSearch, TimedOutSearchesAreRepeatedWhileTheBudgetLasts) {
    StandinSession session("retry=3 delay=1");
    session.standin.script("ldap_search_st", LDAP_TIMEOUT);
    EXPECT_EQ(session.read("srv1"), CS_SUCCEED);
    EXPECT_EQ(session.state().cur.retrycount, 2);

    testhost::clear_events();
    for (int i = 0; i < 3; ++i) session.standin.script("ldap_search_st", LDAP_TIMEOUT);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session.search(), CS_FAIL);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    session.expect_failure(DLDAP_ERR_TIMEOUT, LDAP_TIMEOUT);
    EXPECT_EQ(session.standin.calls("ldap_search_st"), 2 + 3);
    EXPECT_EQ(session.state().cur.retrycount, 0);
    EXPECT_EQ(log_count("LDAP_SEARCH_ST timed out, retrying... "), 3);
    EXPECT_TRUE(InOrder(log_messages(), {"(retries left: 2)\n", "(retries left: 1)\n", "(retries left: 0)\n"}));
    // Each search and each sleep between them runs with the host's alarm clock halted.
    EXPECT_EQ(trace_of({"ldap_search_st"}),
              (std::vector<std::string>{"halt", "ldap_search_st", "restart", "halt", "restart",
                                        "halt", "ldap_search_st", "restart", "halt", "restart",
                                        "halt", "ldap_search_st", "restart"}));
}

TEST(ReadAndSearch, BrokenAnswersDropTheWholeResult) {
    struct Case {
        std::vector<std::tuple<const char *, long, int>> script;  // function, result, value
        const char *entries;
        CS_INT provstatus, oserr;
        const char *log_line;
    };
    const Case cases[] = {
        {{{"ldap_count_entries", 0, 2}}, kThreeServers, DLDAP_ERR_INVALID, 0,
         "ERROR: more entries returned than expected.\n"},
        {{{"ldap_first_entry", 0, 0}, {"ldap_get_option", 0, 0x51}}, kThreeServers, DLDAP_ERR_NOENTRY, 0x51,
         "Can't be, ldap_count_entries() indicated we DO have entries!\n"},
        {{}, "dn: cn=a\nvelmorServername: a\n\ndn: cn=b\nvelmorServername: b\n\ndn: cn=c\n\n",
         DLDAP_ERR_INVALID, 0x54, "ldap call failed: \"Scripted result 84\"(84)\n"},
        {{{"ldap_get_dn", 0, 0}}, kThreeServers, DLDAP_ERR_INVALID, 0, "ldap_get_dn returned no distinguished name\n"},
        {{{"ldap_count_entries", 0, -1}}, kThreeServers, DLDAP_ERR_NOMEM, 0, "*** Memory allocation failed! ***\n"},
    };
    StandinSession session;
    for (const Case &c : cases) {
        session.standin.set_entries(c.entries);
        for (const auto &[function, result, value] : c.script) session.standin.script(function, result, 0, value);
        const int drops = testhost::result_drops();
        EXPECT_EQ(session.search(), CS_FAIL) << c.log_line;
        session.expect_failure(c.provstatus, c.oserr);
        EXPECT_EQ(session.result(), nullptr);
        EXPECT_EQ(testhost::result_drops(), drops + 1);
        EXPECT_TRUE(log_contains(c.log_line));
    }
}

TEST(ReadAndSearch, EveryFailingAllocationEndsCleanly) {
    StandinSession session;
    gdd_alloc::allocations = 0;
    ASSERT_EQ(session.search(), CS_SUCCEED);
    const long total = gdd_alloc::allocations;
    int left_out = 0;
    for (long n = 1; n <= total; ++n) {
        gdd_alloc::allocations = 0;
        gdd_alloc::fail_at = n;
        const CS_RETCODE outcome = session.search();
        gdd_alloc::fail_at = 0;
        session.expect_failure(DLDAP_ERR_NOMEM, ENOMEM);
        EXPECT_EQ(session.result() != nullptr, outcome == CS_SUCCEED) << n;
        left_out += outcome == CS_SUCCEED;
        EXPECT_EQ(session.standin.live_allocations(), 0) << n;
    }
    // Only a text value may fail and leave the search standing: 3 + 1 + 2 of them.
    EXPECT_EQ(left_out, 6);
    EXPECT_EQ(testhost::result_drops(), total - left_out - 1);  // a result never made is not dropped
}

TEST(ReadAndSearch, UnusableSessionsFailWithoutSearching) {
    StandinSession session;
    LDAP *ld = std::exchange(session.state().ld, nullptr);
    EXPECT_EQ(session.read("srv1"), CS_FAIL);
    session.expect_failure(DLDAP_ERR_SEARCH, 0);
    EXPECT_EQ(session.result(), nullptr);
    session.state().ld = ld;
    EXPECT_EQ(session.standin.calls("ldap_search_st"), 0);
    EXPECT_DEATH(gdd_read(&session.state(), const_cast<CS_CHAR *>("x"), 1, nullptr, &session.comp),
                 "assertion failed");
}

TEST(ReadAndSearch, ALibraryWithoutMessageReleaseStillServes) {
    StandinSession session("", 0, "without_msgfree");
    EXPECT_EQ(session.search(), CS_SUCCEED);
    EXPECT_EQ(session.result()->dcl_numentries, 3);
    session.release_result();
    EXPECT_EQ(session.standin.live_allocations(), 1);  // the answer, which it cannot take back
}

TEST(Names, DistinguishedNamesAreRecognisedAndBuilt) {
    DLDAP_HANDLE handle{};
    std::strcpy(handle.RDNAttribName, "velmorServername");
    std::strcpy(handle.cur.ditbase, "o=x");
    const std::string dn40 = "velmorServername=s, o=" + std::string(18, 'y');
    const std::tuple<const char *, CS_INT, CS_INT, const char *> cases[] = {  // null: fails
        {"srv1", CS_NULLTERM, 27, "velmorServername=srv1, o=x"}, {"srv1", 4, 26, nullptr},
        {"srv1xyz", 4, 27, "velmorServername=srv1, o=x"},        {"", 0, 23, "velmorServername=, o=x"},
        {dn40.c_str(), 40, 41, dn40.c_str()},                     {dn40.c_str(), CS_NULLTERM, 40, nullptr},
        {"velmorServername", CS_NULLTERM, 100, "velmorServername=velmorServername, o=x"},
        {"velmorServername=", CS_NULLTERM, 100, "velmorServername="},
        {"VelmorServername=a", CS_NULLTERM, 100, "velmorServername=VelmorServername=a, o=x"},
        {"velmorServername=a", 16, 100, "velmorServername=velmorServername, o=x"},
        {"srv1", -2, 100, nullptr},
    };
    for (const auto &[name, length, buffer, expected] : cases) {
        char dn[128] = "untouched";
        EXPECT_EQ(gdd__get_dn(dn, buffer, name, length, &handle), expected ? CS_SUCCEED : CS_FAIL) << name;
        EXPECT_STREQ(dn, expected ? expected : "untouched") << name << " " << buffer;
    }
    EXPECT_EQ(log_count("gdd__get_dn: dnbuflen is to small.\n"), 2);
    EXPECT_EQ(gdd__get_dn(nullptr, 10, "a", 1, &handle), CS_FAIL);
    EXPECT_TRUE(log_contains("gdd__get_dn: dn or name is NULL\n"));
}
