// Entry retrieval: the read and search entry points, the names of server
// entries, the search with its time limit and retries, and the decoding of
// each answered entry into a DCL_OBJECT of the result handed to the host.
// Everything the client library hands out (the answer, names, attribute
// cursors, value arrays) is held by a guard that gives it back on every path.
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "ldap_alarm.h"
#include "ldap_conn.h"
#include "ldap_schema.h"
#include "ldap_search.h"
#include "ldapprovider.h"

namespace {

// ---- guards for the client library's data ----

struct LibraryTextRelease {
    void operator()(char *text) const { gdd__provider().ldap_memfree(text); }
};
using LibraryText = std::unique_ptr<char, LibraryTextRelease>;

struct ValueArrayRelease {
    void operator()(char **values) const { gdd__provider().ldap_value_free(values); }
};
using ValueArray = std::unique_ptr<char *, ValueArrayRelease>;

// One walk over an entry's attribute names.  The library may hand out a
// cursor even when the walk yields nothing, so it is released regardless.
class AttributeWalk {
public:
    AttributeWalk(LDAP *ld, LDAPMessage *entry) : ld_(ld), entry_(entry) {
        name_.reset(gdd__provider().ldap_first_attribute(ld_, entry_, &cursor_));
    }
    ~AttributeWalk() {
        name_.reset();
        if (cursor_ != nullptr) gdd__provider().ldap_ber_free(cursor_, 0);
    }
    AttributeWalk(const AttributeWalk &) = delete;
    AttributeWalk &operator=(const AttributeWalk &) = delete;

    char *name() const { return name_.get(); }
    void next() {
        name_.reset();
        name_.reset(gdd__provider().ldap_next_attribute(ld_, entry_, cursor_));
    }

private:
    LDAP *ld_;
    LDAPMessage *entry_;
    BerElement *cursor_ = nullptr;
    LibraryText name_;
};

CS_RETCODE report_no_memory(DCL_COMP *compp) {
    GDD_LOG("*** Memory allocation failed! ***\n");
    return gdd__dldap_error(compp, DLDAP_ERR_NOMEM, errno);
}

// A counted copy of a text, allocated for the host.
CS_CHAR *host_copy(std::string_view text) {
    auto *copy = static_cast<CS_CHAR *>(gdd__calloc(text.size() + 1, 1));
    if (copy != nullptr) std::memcpy(copy, text.data(), text.size());
    return copy;
}

// ---- the host's release function ----

std::atomic<dcl_result_drop_t> result_drop{nullptr};

// Found once per process; threads that find it together store the same value.
dcl_result_drop_t host_result_drop() {
    dcl_result_drop_t drop = result_drop.load(std::memory_order_acquire);
    if (drop == nullptr) {
        void *self = dlopen(nullptr, RTLD_NOW);
        drop = reinterpret_cast<dcl_result_drop_t>(self ? dlsym(self, "dcl_result_drop") : nullptr);
        GDD_REQUIRE(drop != nullptr);
        result_drop.store(drop, std::memory_order_release);
    }
    return drop;
}

// ---- search ----

// One search and the retries after time-outs, with the host's alarm clock
// halted around each blocking call.
struct SearchRun {
    int code;
    int error_number;  // errno right after the last attempt
    LdapMessage answer;
};

SearchRun run_search(DLDAP_HANDLE *ldaphan, const char *searchbase, const char *filter, int scope) {
    const CS_INT timelimit = ldaphan->dclsess_props->dsp_timelimit;
    timeval timeout{timelimit, 0};
    timeval *timeoutp = nullptr;
    if (timelimit == 0 || timelimit == -1) {
        GDD_LOG("Calling LDAP_SEARCH_ST with infinite timeout\n");
    } else {
        timeoutp = &timeout;
        GDD_LOG("Timeout set to %d seconds\n", timelimit);
        GDD_LOG("Calling LDAP_SEARCH_ST with timeout = %d\n", timelimit);
    }
    // The library takes the list as char** but never writes through it.
    char **requested = const_cast<char **>(velmor_attributes.data());
    SearchRun run{};
    auto attempt = [&] {
        LDAPMessage *answer = nullptr;
        {
            AlarmClockPause pause;
            run.code = gdd__provider().ldap_search_st(ldaphan->ld, searchbase, scope, filter,
                                                      requested, 0, timeoutp, &answer);
            run.error_number = errno;
        }
        run.answer.reset(answer);
    };
    attempt();
    while (run.code == LDAP_TIMEOUT && ldaphan->cur.retrycount > 0) {
        run.answer.reset();
        gdd__retry_sleep(ldaphan->cur.delay);
        --ldaphan->cur.retrycount;
        GDD_LOG("LDAP_SEARCH_ST timed out, retrying... ");
        GDD_LOG("(retries left: %d)\n", ldaphan->cur.retrycount);
        attempt();
    }
    return run;
}

CS_RETCODE report_search_failure(const SearchRun &run, DCL_COMP *compp) {
    GDD_LOG("ldap_search_st failed: \"%s\"(%i)\n", gdd__error_text(run.code), run.code);
    if (run.error_number == EINTR) {
        GDD_LOG("LDAP_SEARCH_ST: (EINTR) INTERRUPTED SYSTEM CALL !!!.\n");
        return gdd__dldap_error(compp, DLDAP_ERR_EINTR, run.error_number);
    }
    switch (run.code) {
    case LDAP_NO_SUCH_OBJECT:
        GDD_LOG("There is no entry found for this servername\n");
        return gdd__dldap_error(compp, DLDAP_ERR_NOENTRY, run.code);
    case LDAP_INVALID_CREDENTIALS:
    case LDAP_INSUFFICIENT_ACCESS:
        GDD_LOG("Insufficient access to perform the operation!!\n");
        return gdd__dldap_error(compp, DLDAP_ERR_ACCESS, run.code);
    case LDAP_TIMEOUT:
        GDD_LOG("Search operation timed out.\n");
        return gdd__dldap_error(compp, DLDAP_ERR_TIMEOUT, run.code);
    default:
        GDD_LOG("Unexpected ldap_search_st() failure!\n");
        return gdd__dldap_error(compp, DLDAP_ERR_SEARCH, run.code);
    }
}

bool allocate_objects(DCL_RESULT *result) {
    if (result->dcl_numentries < 0) return false;
    const auto count = static_cast<std::size_t>(result->dcl_numentries);
    result->dcl_objlist = static_cast<DCL_OBJECT **>(gdd__calloc(count, sizeof(DCL_OBJECT *)));
    if (result->dcl_objlist == nullptr) return false;
    for (std::size_t i = 0; i < count; ++i) {
        result->dcl_objlist[i] = static_cast<DCL_OBJECT *>(gdd__calloc(1, sizeof(DCL_OBJECT)));
        if (result->dcl_objlist[i] == nullptr) return false;
    }
    return true;
}

// Fills the counted result with one object per answered entry.  On failure
// the whole result goes back to the host, which owns every part of it, and
// the caller's pointer is cleared: no partial result is returned.
CS_RETCODE build_objects(LDAP *ld, LDAPMessage *answer, dcl_result_drop_t drop,
                         DCL_RESULT **resultpp, DCL_COMP *compp) {
    DCL_RESULT *result = *resultpp;
    auto release = [&] {
        drop(nullptr, result, compp);
        *resultpp = nullptr;
    };
    if (!allocate_objects(result)) {
        GDD_LOG("*** Memory allocation failed! ***\n");
        release();
        return gdd__dldap_error(compp, DLDAP_ERR_NOMEM, errno);
    }
    const CS_INT count = result->dcl_numentries;
    LDAPMessage *entry = gdd__provider().ldap_first_entry(ld, answer);
    if (entry == nullptr) {
        GDD_LOG("NO entries! ldap_first_entry() returned NULL!\n");
        GDD_LOG("Can't be, ldap_count_entries() indicated we DO have entries!\n");
        release();
        return gdd__dldap_error(compp, DLDAP_ERR_NOENTRY, gdd__session_error(ld));
    }
    for (CS_INT index = 0; entry != nullptr;
         entry = gdd__provider().ldap_next_entry(ld, entry), ++index) {
        if (index == count) {
            GDD_LOG("ERROR: more entries returned than expected.\n");
            release();
            return gdd__dldap_error(compp, DLDAP_ERR_INVALID, 0);
        }
        if (gdd__get_dcl_entry(result->dcl_objlist[index], ld, entry, compp) != CS_SUCCEED) {
            release();  // the decoder has reported why
            return CS_FAIL;
        }
    }
    return CS_SUCCEED;
}

// ---- names ----

constexpr std::size_t kServernameOidLength = sizeof kServernameOid - 1;

// A server name as a filter value: the characters that would change the
// filter's structure are escaped; "*" stays the wildcard.
char *append_filter_value(char *out, std::string_view name) {
    for (char c : name) {
        switch (c) {
        case '(': out = std::copy_n("\\28", 3, out); break;
        case ')': out = std::copy_n("\\29", 3, out); break;
        case '\\': out = std::copy_n("\\5c", 3, out); break;
        case '\0': out = std::copy_n("\\00", 3, out); break;
        default: *out++ = c;
        }
    }
    *out = '\0';
    return out;
}

// Room for the OID, "=", a name of 512 characters all escaped, and the end.
constexpr std::size_t kReadFilterSize = kServernameOidLength + 1 + 3 * (GDD_TEXT_SIZE - 1) + 1;

void build_name_filter(char (&filter)[kReadFilterSize], std::string_view name) {
    char *out = std::copy_n(kServernameOid, kServernameOidLength, filter);
    *out++ = '=';
    append_filter_value(out, name);
}

// "<servername OID>=*": every entry that has a server name.
constexpr auto kEveryServerFilter = [] {
    std::array<char, kServernameOidLength + 3> filter{};
    char *out = std::copy_n(kServernameOid, kServernameOidLength, filter.data());
    *out++ = '=';
    *out = '*';
    return filter;
}();

}  // namespace

// ---- entry decoding ----

CS_RETCODE gdd__get_dcl_attribute(DCL_ATTRIBUTE *this_dcl_attributep, char *ldapAttributep,
                                  LDAP *ld, DCL_COMP *compp, LDAPMessage *entry) {
    DCL_ATTRIBUTE &attribute = *this_dcl_attributep;
    attribute.dcl_attrtype.dcl_oidp = static_cast<CS_CHAR *>(gdd__calloc(GDD_TEXT_SIZE, 1));
    if (attribute.dcl_attrtype.dcl_oidp == nullptr) return report_no_memory(compp);
    gdd__map_dcl_attributename(&attribute.dcl_attrtype, ldapAttributep);
    attribute.dcl_attrmod = CS_UNUSED;
    attribute.dcl_attrsyntax = gdd__get_dcl_syntax(attribute.dcl_attrtype.dcl_oidp);

    ValueArray values(gdd__provider().ldap_get_values(ld, entry, ldapAttributep));
    if (int code = gdd__session_error(ld); code != 0)
        GDD_LOG("ldap_get_values failed: \"%s\"(%i)\n", gdd__error_text(code), code);
    const int count = gdd__provider().ldap_count_values(values.get());
    if (int code = gdd__session_error(ld); code != 0)
        GDD_LOG("ldap_count_values failed: \"%s\"(%i)\n", gdd__error_text(code), code);
    GDD_REQUIRE(count > 0);

    GDD_LOG(" Attribute %s has %i values.\n", ldapAttributep, count);
    attribute.dcl_numvalues = count;
    attribute.dcl_attrvalues = static_cast<DCL_ATTRVALUE *>(
        gdd__calloc(static_cast<std::size_t>(count), sizeof(DCL_ATTRVALUE)));
    if (attribute.dcl_attrvalues == nullptr) return report_no_memory(compp);
    CS_INT converted = 0;
    for (int i = 0; i < count; ++i) {
        // A value that does not convert is left out; the next takes its slot.
        if (gdd__get_dcl_value(&attribute.dcl_attrvalues[converted], values.get()[i],
                               attribute.dcl_attrsyntax, compp) == CS_SUCCEED)
            ++converted;
    }
    attribute.dcl_numvalues = converted;
    return CS_SUCCEED;
}

CS_RETCODE gdd__get_dcl_entry(DCL_OBJECT *dclobj, LDAP *ld, LDAPMessage *entry, DCL_COMP *compp) {
    LibraryText dn(gdd__provider().ldap_get_dn(ld, entry));
    const int dn_code = gdd__session_error(ld);
    if (dn_code != 0) GDD_LOG("ldap call failed: \"%s\"(%i)\n", gdd__error_text(dn_code), dn_code);
    if (dn == nullptr) {
        // An entry without a name cannot be handed to the host.
        GDD_LOG("ldap_get_dn returned no distinguished name\n");
        return gdd__dldap_error(compp, DLDAP_ERR_INVALID, dn_code);
    }
    GDD_LOG("DN=%s\n", dn.get());

    const std::string_view class_oid = kServerClassOid;
    dclobj->dcl_class.dcl_oidp = host_copy(class_oid);
    if (dclobj->dcl_class.dcl_oidp == nullptr) return report_no_memory(compp);
    dclobj->dcl_class.dcl_oidlen = static_cast<CS_INT>(class_oid.size());

    const std::string_view name = dn.get();
    dclobj->dcl_dist_name.dcl_stringp = host_copy(name);
    if (dclobj->dcl_dist_name.dcl_stringp == nullptr) return report_no_memory(compp);
    dclobj->dcl_dist_name.dcl_length = static_cast<CS_INT>(name.size());
    dn.reset();

    CS_INT count = 0;
    for (AttributeWalk walk(ld, entry); walk.name() != nullptr; walk.next()) ++count;
    GDD_LOG(" -- Found %i attributes --\n", count);
    DCL_ATTRLIST &list = dclobj->dcl_attrlist;
    list.dcl_numattr = count;
    if (count > 0) {
        list.dcl_attribute = static_cast<DCL_ATTRIBUTE *>(
            gdd__calloc(static_cast<std::size_t>(count), sizeof(DCL_ATTRIBUTE)));
        if (list.dcl_attribute == nullptr) return report_no_memory(compp);
    }

    AttributeWalk walk(ld, entry);
    if (walk.name() == nullptr) {
        const int code = gdd__session_error(ld);
        GDD_LOG("ldap call failed: \"%s\"(%i)\n", gdd__error_text(code), code);
        return gdd__dldap_error(compp, DLDAP_ERR_INVALID, code);
    }
    for (CS_INT slot = 0; walk.name() != nullptr && slot < count; walk.next(), ++slot) {
        GDD_LOG(" Copying attribute %s:\n", walk.name());
        const CS_RETCODE decoded =
            gdd__get_dcl_attribute(&list.dcl_attribute[slot], walk.name(), ld, compp, entry);
        if (decoded != CS_SUCCEED) return decoded;
    }
    return CS_SUCCEED;
}

// ---- search execution ----

CS_RETCODE gdd__read_entries(DLDAP_HANDLE *ldaphan, const char *searchbase, const char *filter,
                             int scope, DCL_RESULT **resultpp, DCL_COMP *compp) {
    GDD_REQUIRE(resultpp != nullptr);
    GDD_REQUIRE(ldaphan->dclsess_props != nullptr);
    *resultpp = nullptr;
    if (ldaphan->ld == nullptr) {
        GDD_LOG("Not bound: there is no LDAP session to search\n");
        return gdd__dldap_error(compp, DLDAP_ERR_SEARCH, 0);
    }
    const dcl_result_drop_t drop = host_result_drop();

    auto *result = static_cast<DCL_RESULT *>(gdd__calloc(1, sizeof(DCL_RESULT)));
    *resultpp = result;
    if (result == nullptr) return report_no_memory(compp);

    GDD_LOG("searchbase=\"%s\"\n", searchbase);
    GDD_LOG("filter=\"%s\"\n", filter);
    const SearchRun run = run_search(ldaphan, searchbase, filter, scope);
    if (run.code != LDAP_SUCCESS) return report_search_failure(run, compp);

    GDD_LOG("LDAP_SEARCH_ST succeeded\n");
    // The name is the session's own base DN, lent to the result, not a copy.
    result->dcl_name.dcl_stringp = ldaphan->cur.ditbase;
    result->dcl_name.dcl_length = static_cast<CS_INT>(std::strlen(ldaphan->cur.ditbase));
    result->dcl_limit = CS_UNUSED;
    result->dcl_numentries = gdd__provider().ldap_count_entries(ldaphan->ld, run.answer.get());
    if (result->dcl_numentries == 0) {
        GDD_LOG("There is no entry found for this servername\n");
        return gdd__dldap_error(compp, DLDAP_ERR_NOENTRY, 0);
    }

    return build_objects(ldaphan->ld, run.answer.get(), drop, resultpp, compp);
}

// ---- names, read and search ----

CS_BOOL gdd__check_dn(const CS_CHAR *name, CS_INT namelen, const DLDAP_HANDLE *ldaphan) {
    const auto attribute_length = static_cast<CS_INT>(std::strlen(ldaphan->RDNAttribName));
    if (com_unsignstrncmp(name, ldaphan->RDNAttribName, std::min(namelen, attribute_length)) != 0)
        return CS_FALSE;
    if (namelen <= attribute_length) return CS_FALSE;
    if (name[attribute_length] != '=') return CS_FALSE;
    GDD_LOG("Provided name is assumed to be a DN\n");
    return CS_TRUE;
}

CS_RETCODE gdd__get_dn(CS_CHAR *dn, CS_INT dnbuflen, const CS_CHAR *name, CS_INT namelen,
                       const DLDAP_HANDLE *ldaphan) {
    if (dn == nullptr || name == nullptr) {
        GDD_LOG("gdd__get_dn: dn or name is NULL\n");
        return CS_FAIL;
    }
    if (namelen == CS_NULLTERM) namelen = static_cast<CS_INT>(std::strlen(name));
    if (namelen < 0) {
        GDD_LOG("gdd__get_dn: invalid name length %i\n", namelen);
        return CS_FAIL;
    }
    if (gdd__check_dn(name, namelen, ldaphan) == CS_TRUE) {
        if (dnbuflen <= namelen) {
            GDD_LOG("gdd__get_dn: dnbuflen is to small.\n");
            return CS_FAIL;
        }
        std::memcpy(dn, name, static_cast<std::size_t>(namelen));
        dn[namelen] = '\0';
    } else {
        const std::size_t needed = std::strlen(ldaphan->RDNAttribName) +
                                   static_cast<std::size_t>(namelen) +
                                   std::strlen(ldaphan->cur.ditbase) + 3;
        if (dnbuflen < 0 || needed >= static_cast<std::size_t>(dnbuflen)) {
            GDD_LOG("gdd__get_dn: dnbuflen is to small.\n");
            return CS_FAIL;
        }
        std::snprintf(dn, static_cast<std::size_t>(dnbuflen), "%s=%.*s, %s", ldaphan->RDNAttribName,
                      namelen, name, ldaphan->cur.ditbase);
    }
    GDD_LOG("gdd__get_dn: dn = \"%s\"\n", dn);
    return CS_SUCCEED;
}

CS_RETCODE gdd_read(CS_VOID *gddp, CS_CHAR *name, CS_INT namelen, DCL_RESULT **resultpp,
                    DCL_COMP *compp) noexcept {
    GDD_LOG("!gdd_read!\n");
    DLDAP_HANDLE *handle = GDD_ENTRY_HANDLE(gddp, compp);
    if (handle == nullptr) return CS_FAIL;
    // Any other negative length is a length the host cannot mean.
    GDD_REQUIRE(namelen >= 0 || namelen == CS_NULLTERM);

    CS_CHAR copy[GDD_TEXT_SIZE];
    gdd__copy_string(copy, GDD_TEXT_SIZE, name, namelen);
    const CS_INT length = namelen == CS_NULLTERM ? static_cast<CS_INT>(std::strlen(name)) : namelen;
    if (gdd__check_dn(copy, length, handle) == CS_TRUE)
        return gdd__read_entries(handle, copy, kEveryServerFilter.data(), LDAP_SCOPE_BASE, resultpp,
                                 compp);

    char filter[kReadFilterSize];
    build_name_filter(filter, copy);
    return gdd__read_entries(handle, handle->cur.ditbase, filter, LDAP_SCOPE_ONELEVEL, resultpp,
                             compp);
}

CS_RETCODE gdd_search(CS_VOID *gddp, DCL_OID * /*classp: every server entry is listed*/,
                      DCL_RESULT **resultpp, DCL_COMP *compp) noexcept {
    GDD_LOG("!gdd_search!\n");
    DLDAP_HANDLE *handle = GDD_ENTRY_HANDLE(gddp, compp);
    if (handle == nullptr) return CS_FAIL;
    CS_CHAR base[GDD_TEXT_SIZE];
    gdd__copy_string(base, GDD_TEXT_SIZE, handle->cur.ditbase, CS_NULLTERM);
    return gdd__read_entries(handle, base, kEveryServerFilter.data(), LDAP_SCOPE_ONELEVEL, resultpp,
                             compp);
}
