// The scripted stand-in LDAP client library, for the failures a real server
// cannot produce on demand.  It keeps the client API's contracts (ownership
// of messages, names and value arrays, the cursor of the attribute walk) and
// counts what it hands out, so tests also see leaks.  Unscripted calls
// behave like a healthy server.  The tests drive it through the control
// functions below (see tests/support/standin.h) from one thread.
#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ldapport.h"

#define STANDIN_API extern "C" __attribute__((visibility("default")))

namespace {

struct Outcome {
    long result;
    int error_number;
    int value;
};

struct Entry {
    std::string dn;
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
};

std::map<std::string, std::deque<Outcome>> scripts;
std::map<std::string, int> call_counts;
std::vector<Entry> entries;
std::string last_update;
std::string last_search;
long live = 0;

// Counts the call and records it in the test host's trace, beside the
// alarm-clock brackets.
void trace(const char *function) {
    ++call_counts[function];
    using Recorder = void (*)(const char *);
    static Recorder recorder = reinterpret_cast<Recorder>(dlsym(RTLD_DEFAULT, "testhost_record"));
    if (recorder != nullptr) recorder(function);
}

// The scripted outcome of this call, if any; errno is set from it.
bool scripted(const char *function, Outcome *outcome) {
    trace(function);
    auto found = scripts.find(function);
    if (found == scripts.end() || found->second.empty()) return false;
    *outcome = found->second.front();
    found->second.pop_front();
    errno = outcome->error_number;
    return true;
}

char *tracked_strdup(const std::string &text) {
    ++live;
    return strdup(text.c_str());
}
void tracked_free(void *pointer) {
    if (pointer == nullptr) return;
    --live;
    std::free(pointer);
}

}  // namespace

struct ldap {
    int result_code = 0;
    char last_request = 'b';
};

// A search answer is a chain whose entry messages point back into it.
struct ldapmsg {
    int type;
    std::vector<Entry> entries;
    std::vector<ldapmsg *> entry_messages;
    const Entry *entry = nullptr;
    ldapmsg *chain = nullptr;
    std::size_t index = 0;
};

struct berelement {
    std::size_t next_attribute = 0;
};

namespace {

// Messages handed out and not yet released, for standin_release_messages.
std::set<ldapmsg *> outstanding_messages;

ldapmsg *new_message(int type) {
    ++live;
    auto *message = new ldapmsg;
    message->type = type;
    outstanding_messages.insert(message);
    return message;
}

void free_message(ldapmsg *message) {
    if (message == nullptr) return;
    outstanding_messages.erase(message);
    for (ldapmsg *entry : message->entry_messages) delete entry;
    delete message;
    --live;
}

ldapmsg *new_search_answer() {
    ldapmsg *chain = new_message(0x65);
    chain->entries = entries;
    for (std::size_t i = 0; i < chain->entries.size(); ++i)
        chain->entry_messages.push_back(
            new ldapmsg{LDAP_RES_SEARCH_ENTRY, {}, {}, &chain->entries[i], chain, i});
    return chain;
}

std::vector<Entry> parse_entries(const char *text) {
    std::vector<Entry> parsed;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        const std::size_t colon = line.find(": ");
        const std::string name = line.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : line.substr(colon + 2);
        if (name == "dn") {
            parsed.push_back(Entry{value, {}});
            continue;
        }
        if (parsed.empty()) continue;
        auto &attributes = parsed.back().attributes;
        auto same = std::find_if(attributes.begin(), attributes.end(),
                                 [&](const auto &attribute) { return attribute.first == name; });
        if (same == attributes.end())
            attributes.push_back({name, {value}});
        else
            same->second.push_back(value);
    }
    return parsed;
}

int update(const char *function, const char *operation, const char *dn, LDAPMod **mods) {
    Outcome outcome{};
    const bool has_script = scripted(function, &outcome);
    last_update = std::string(operation) + " " + dn + "\n";
    for (int i = 0; mods != nullptr && mods[i] != nullptr; ++i) {
        last_update += std::to_string(mods[i]->mod_op) + " " + mods[i]->mod_type + "=";
        for (int v = 0; mods[i]->mod_values != nullptr && mods[i]->mod_values[v] != nullptr; ++v)
            last_update += (v ? "|" : "") + std::string(mods[i]->mod_values[v]);
        last_update += "\n";
    }
    return has_script ? static_cast<int>(outcome.result) : LDAP_SUCCESS;
}

bool url_has_scheme(const char *url, const char *scheme) {
    return url != nullptr && std::strncmp(url, scheme, std::strlen(scheme)) == 0;
}

}  // namespace

// ---- control interface ----

STANDIN_API void standin_reset(void) {
    scripts.clear();
    call_counts.clear();
    entries.clear();
    last_update.clear();
    last_search.clear();
}

STANDIN_API void standin_script(const char *function, long result, int error_number, int value) {
    scripts[function].push_back(Outcome{result, error_number, value});
}

STANDIN_API void standin_set_entries(const char *text) { entries = parse_entries(text); }

STANDIN_API int standin_calls(const char *function) {
    auto found = call_counts.find(function);
    return found == call_counts.end() ? 0 : found->second;
}

STANDIN_API const char *standin_last_update(void) { return last_update.c_str(); }

STANDIN_API const char *standin_last_search(void) { return last_search.c_str(); }

STANDIN_API void standin_release_messages(void) {
    while (!outstanding_messages.empty()) free_message(*outstanding_messages.begin());
}

STANDIN_API long standin_live_allocations(void) { return live; }

// ---- the client API ----

STANDIN_API int ldap_initialize(LDAP **ldp, const char *) {
    Outcome outcome{};
    if (scripted("ldap_initialize", &outcome) && outcome.result != 0) {
        *ldp = nullptr;
        return static_cast<int>(outcome.result);
    }
    *ldp = new ldap;
    return LDAP_SUCCESS;
}

STANDIN_API int ldap_set_option(LDAP *, int, const void *) {
    Outcome outcome{};
    if (scripted("ldap_set_option", &outcome)) return static_cast<int>(outcome.result);
    return LDAP_SUCCESS;
}

STANDIN_API int ldap_get_option(LDAP *ld, int option, void *out) {
    Outcome outcome{};
    const bool has_script = scripted("ldap_get_option", &outcome);
    if (option == LDAP_OPT_RESULT_CODE)
        *static_cast<int *>(out) = has_script ? outcome.value : (ld ? ld->result_code : 0);
    return has_script ? static_cast<int>(outcome.result) : LDAP_SUCCESS;
}

STANDIN_API int ldap_is_ldap_url(const char *url) {
    trace("ldap_is_ldap_url");
    return url_has_scheme(url, "ldap://") || url_has_scheme(url, "ldaps://") || url_has_scheme(url, "ldapi://");
}

STANDIN_API int ldap_is_ldaps_url(const char *url) {
    trace("ldap_is_ldaps_url");
    return url_has_scheme(url, "ldaps://");
}

// scheme://host:port/dn?attrs?scope?filter
STANDIN_API int ldap_url_parse(const char *url, LDAPURLDesc **description) {
    trace("ldap_url_parse");
    const char *separator = url ? std::strstr(url, "://") : nullptr;
    if (separator == nullptr) return 3;
    auto *parsed = static_cast<LDAPURLDesc *>(std::calloc(1, sizeof(LDAPURLDesc)));
    parsed->lud_scheme = strndup(url, static_cast<std::size_t>(separator - url));
    const char *host = separator + 3;
    const char *slash = std::strchr(host, '/');
    std::string hostport = slash ? std::string(host, slash) : std::string(host);
    const std::size_t colon = hostport.rfind(':');
    if (colon != std::string::npos) {
        parsed->lud_port = std::atoi(hostport.c_str() + colon + 1);
        hostport.resize(colon);
    }
    if (!hostport.empty()) parsed->lud_host = strdup(hostport.c_str());
    if (slash != nullptr) {
        const char *question = std::strchr(slash + 1, '?');
        parsed->lud_dn =
            question ? strndup(slash + 1, static_cast<std::size_t>(question - slash - 1)) : strdup(slash + 1);
    }
    *description = parsed;
    return 0;
}

STANDIN_API void ldap_free_urldesc(LDAPURLDesc *description) {
    trace("ldap_free_urldesc");
    if (description == nullptr) return;
    std::free(description->lud_scheme);
    std::free(description->lud_host);
    std::free(description->lud_dn);
    std::free(description);
}

STANDIN_API int ldap_simple_bind(LDAP *ld, const char *, const char *) {
    Outcome outcome{};
    ld->last_request = 'b';
    if (scripted("ldap_simple_bind", &outcome)) return static_cast<int>(outcome.result);
    return 1;
}

STANDIN_API int ldap_simple_bind_s(LDAP *, const char *, const char *) { return LDAP_SUCCESS; }

STANDIN_API int ldap_start_tls(LDAP *ld, LDAPControl **, LDAPControl **, int *msgid) {
    Outcome outcome{};
    ld->last_request = 't';
    *msgid = 2;
    if (scripted("ldap_start_tls", &outcome)) {
        *msgid = outcome.value;
        return static_cast<int>(outcome.result);
    }
    return LDAP_SUCCESS;
}

#ifndef OMIT_ldap_start_tls_s
STANDIN_API int ldap_start_tls_s(LDAP *, LDAPControl **, LDAPControl **) { return LDAP_SUCCESS; }
#endif

STANDIN_API int ldap_install_tls(LDAP *) {
    trace("ldap_install_tls");
    return LDAP_SUCCESS;
}

STANDIN_API int ldap_result(LDAP *ld, int, int, struct timeval *, LDAPMessage **result) {
    Outcome outcome{};
    int type = ld->last_request == 't' ? LDAP_RES_EXTENDED : LDAP_RES_BIND;
    *result = nullptr;
    if (scripted("ldap_result", &outcome)) {
        if (outcome.result <= 0) return static_cast<int>(outcome.result);
        type = static_cast<int>(outcome.result);
    }
    *result = new_message(type);
    return type;
}

STANDIN_API int ldap_parse_result(LDAP *, LDAPMessage *message, int *errcode, char **matched, char **errmsg,
                                  char ***referrals, LDAPControl ***controls, int freeit) {
    Outcome outcome{};
    const bool has_script = scripted("ldap_parse_result", &outcome);
    if (errcode) *errcode = has_script ? outcome.value : LDAP_SUCCESS;
    if (matched) *matched = nullptr;
    if (errmsg) *errmsg = nullptr;
    if (referrals) *referrals = nullptr;
    if (controls) *controls = nullptr;
    if (freeit) free_message(message);
    return has_script ? static_cast<int>(outcome.result) : LDAP_SUCCESS;
}

STANDIN_API int ldap_parse_extended_result(LDAP *, LDAPMessage *, char **oid, struct berval **data, int) {
    Outcome outcome{};
    if (oid) *oid = nullptr;
    if (data) *data = nullptr;
    if (scripted("ldap_parse_extended_result", &outcome)) return static_cast<int>(outcome.result);
    if (data) {
        live += 2;
        *data = static_cast<struct berval *>(std::calloc(1, sizeof(struct berval)));
        (*data)->bv_val = strdup("");
    }
    return LDAP_SUCCESS;
}

STANDIN_API void ber_memfree(void *pointer) { tracked_free(pointer); }

STANDIN_API void ber_free(BerElement *ber, int) {
    trace("ber_free");
    if (ber == nullptr) return;
    delete ber;
    --live;
}

STANDIN_API int ldap_unbind_s(LDAP *ld) {
    Outcome outcome{};
    const bool has_script = scripted("ldap_unbind_s", &outcome);
    delete ld;
    return has_script ? static_cast<int>(outcome.result) : LDAP_SUCCESS;
}

STANDIN_API int ldap_search_st(LDAP *ld, const char *base, int scope, const char *filter, char **attrs, int,
                               struct timeval *timeout, LDAPMessage **answer) {
    last_search = std::string("base=") + base + "|scope=" + std::to_string(scope) + "|filter=" + filter +
                  "|timeout=" + (timeout ? std::to_string(timeout->tv_sec) : "none") + "|attrs=";
    for (int i = 0; attrs != nullptr && attrs[i] != nullptr; ++i) last_search += (i ? "," : "") + std::string(attrs[i]);
    Outcome outcome{};
    if (scripted("ldap_search_st", &outcome) && outcome.result != LDAP_SUCCESS) {
        ld->result_code = static_cast<int>(outcome.result);
        // Like the real library, a refused search still hands out its answer.
        *answer = outcome.result == LDAP_TIMEOUT ? nullptr : new_message(0x65);
        return static_cast<int>(outcome.result);
    }
    ld->result_code = LDAP_SUCCESS;
    *answer = new_search_answer();
    return LDAP_SUCCESS;
}

#ifndef OMIT_ldap_msgfree
STANDIN_API int ldap_msgfree(LDAPMessage *message) {
    trace("ldap_msgfree");
    if (message == nullptr) return 0;
    const int type = message->type;
    free_message(message);
    return type;
}
#endif

STANDIN_API int ldap_count_entries(LDAP *, LDAPMessage *chain) {
    Outcome outcome{};
    if (scripted("ldap_count_entries", &outcome)) return outcome.value;
    return static_cast<int>(chain->entry_messages.size());
}

STANDIN_API LDAPMessage *ldap_first_entry(LDAP *, LDAPMessage *chain) {
    Outcome outcome{};
    if (scripted("ldap_first_entry", &outcome) && outcome.result == 0) return nullptr;
    return chain->entry_messages.empty() ? nullptr : chain->entry_messages.front();
}

STANDIN_API LDAPMessage *ldap_next_entry(LDAP *, LDAPMessage *entry) {
    trace("ldap_next_entry");
    const std::size_t next = entry->index + 1;
    return next < entry->chain->entry_messages.size() ? entry->chain->entry_messages[next] : nullptr;
}

STANDIN_API char *ldap_get_dn(LDAP *, LDAPMessage *entry) {
    Outcome outcome{};
    if (scripted("ldap_get_dn", &outcome) && outcome.result == 0) return nullptr;
    return tracked_strdup(entry->entry->dn);
}

STANDIN_API void ldap_memfree(void *pointer) { tracked_free(pointer); }

STANDIN_API char *ldap_first_attribute(LDAP *ld, LDAPMessage *entry, BerElement **ber) {
    trace("ldap_first_attribute");
    ++live;
    *ber = new berelement;
    if (entry->entry->attributes.empty()) {
        ld->result_code = 0x54;  // decoding error, as the real library reports it
        return nullptr;
    }
    (*ber)->next_attribute = 1;
    return tracked_strdup(entry->entry->attributes.front().first);
}

STANDIN_API char *ldap_next_attribute(LDAP *, LDAPMessage *entry, BerElement *ber) {
    trace("ldap_next_attribute");
    if (ber->next_attribute >= entry->entry->attributes.size()) return nullptr;
    return tracked_strdup(entry->entry->attributes[ber->next_attribute++].first);
}

STANDIN_API char **ldap_get_values(LDAP *, LDAPMessage *entry, const char *name) {
    trace("ldap_get_values");
    for (const auto &[attribute, texts] : entry->entry->attributes) {
        if (attribute != name) continue;
        ++live;
        auto **values = static_cast<char **>(std::calloc(texts.size() + 1, sizeof(char *)));
        for (std::size_t i = 0; i < texts.size(); ++i) values[i] = strdup(texts[i].c_str());
        return values;
    }
    return nullptr;
}

STANDIN_API int ldap_count_values(char **values) {
    int count = 0;
    while (values != nullptr && values[count] != nullptr) ++count;
    return count;
}

#ifndef OMIT_ldap_value_free
STANDIN_API void ldap_value_free(char **values) {
    if (values == nullptr) return;
    for (int i = 0; values[i] != nullptr; ++i) std::free(values[i]);
    std::free(values);
    --live;
}
#endif

STANDIN_API int ldap_add_s(LDAP *, const char *dn, LDAPMod **mods) { return update("ldap_add_s", "add", dn, mods); }

STANDIN_API int ldap_modify_s(LDAP *, const char *dn, LDAPMod **mods) {
    return update("ldap_modify_s", "modify", dn, mods);
}

STANDIN_API int ldap_delete_s(LDAP *, const char *dn) { return update("ldap_delete_s", "delete", dn, nullptr); }

STANDIN_API char *ldap_err2string(int code) {
    static std::map<int, std::string> texts;
    return texts.emplace(code, "Scripted result " + std::to_string(code)).first->second.data();
}
