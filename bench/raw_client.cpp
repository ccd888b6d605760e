#include "raw_client.h"

#include <ldap.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "driver_vocabulary.h"

static_assert(static_cast<int>(RawClient::Scope::base) == LDAP_SCOPE_BASE);
static_assert(static_cast<int>(RawClient::Scope::one_level) == LDAP_SCOPE_ONELEVEL);

namespace {

[[noreturn]] void fail(const char *what, int code) {
    std::fprintf(stderr, "raw client: %s: %s (%d)\n", what, ldap_err2string(code), code);
    std::exit(2);
}

char *copy_of(const char *data, std::size_t length) {
    auto *copy = static_cast<char *>(std::malloc(length + 1));
    std::memcpy(copy, data, length);
    copy[length] = '\0';
    return copy;
}

struct MessageRelease {
    void operator()(LDAPMessage *message) const { ldap_msgfree(message); }
};

}  // namespace

RawClient::RawClient(const std::string &uri, const std::string &bind_dn, const std::string &password) {
    if (int code = ldap_initialize(&ld_, uri.c_str()); code != LDAP_SUCCESS) fail("initialize", code);
    const int version = LDAP_VERSION3;
    ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &version);
    berval credentials{password.size(), const_cast<char *>(password.c_str())};
    if (int code = ldap_sasl_bind_s(ld_, bind_dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                                    nullptr, nullptr);
        code != LDAP_SUCCESS)
        fail("bind", code);
}

RawClient::~RawClient() {
    release_copies();
    if (ld_ != nullptr) ldap_unbind_ext_s(ld_, nullptr, nullptr);
}

std::size_t RawClient::search(const std::string &base, Scope scope, const std::string &filter) {
    LDAPMessage *answer = nullptr;
    const int code = ldap_search_ext_s(ld_, base.c_str(), static_cast<int>(scope), filter.c_str(),
                                       requested_attribute_list(), 0, nullptr,
                                       nullptr, nullptr, LDAP_NO_LIMIT, &answer);
    std::unique_ptr<LDAPMessage, MessageRelease> guard(answer);
    if (code != LDAP_SUCCESS) fail("search", code);

    std::size_t entries = 0;
    for (LDAPMessage *entry = ldap_first_entry(ld_, answer); entry != nullptr;
         entry = ldap_next_entry(ld_, entry), ++entries) {
        char *dn = ldap_get_dn(ld_, entry);
        copies_.push_back(copy_of(dn, std::strlen(dn)));
        ldap_memfree(dn);
        BerElement *cursor = nullptr;
        for (char *name = ldap_first_attribute(ld_, entry, &cursor); name != nullptr;
             name = ldap_next_attribute(ld_, entry, cursor)) {
            copies_.push_back(copy_of(name, std::strlen(name)));
            berval **values = ldap_get_values_len(ld_, entry, name);
            for (berval **value = values; value != nullptr && *value != nullptr; ++value)
                copies_.push_back(copy_of((*value)->bv_val, (*value)->bv_len));
            ldap_value_free_len(values);
            ldap_memfree(name);
        }
        if (cursor != nullptr) ber_free(cursor, 0);
    }
    return entries;
}

void RawClient::release_copies() {
    for (char *copy : copies_) std::free(copy);
    copies_.clear();
}

bool RawClient::add(const std::string &dn, const std::vector<Attribute> &attributes) {
    // Built per call, as a client building its request from its own data does.
    std::vector<LDAPMod> mods(attributes.size());
    std::vector<std::vector<char *>> values(attributes.size());
    std::vector<LDAPMod *> list;
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        for (const std::string &value : attributes[i].second)
            values[i].push_back(const_cast<char *>(value.c_str()));
        values[i].push_back(nullptr);
        mods[i].mod_op = LDAP_MOD_ADD;
        mods[i].mod_type = const_cast<char *>(attributes[i].first.c_str());
        mods[i].mod_values = values[i].data();
        list.push_back(&mods[i]);
    }
    list.push_back(nullptr);
    return ldap_add_ext_s(ld_, dn.c_str(), list.data(), nullptr, nullptr) == LDAP_SUCCESS;
}

bool RawClient::remove(const std::string &dn) {
    return ldap_delete_ext_s(ld_, dn.c_str(), nullptr, nullptr) == LDAP_SUCCESS;
}
