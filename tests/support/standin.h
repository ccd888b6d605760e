/*
 * Test-side control of the scripted stand-in client library (tests/standin):
 * loads the chosen variant under the provider's file name (so the driver
 * picks it up) and forwards to its control functions.
 */
#ifndef VELDLDAP_STANDIN_H
#define VELDLDAP_STANDIN_H

#include <string>

class Standin {
public:
    // Loads the variant (the first one asked for stays loaded) and points the
    // test host's installation at it.
    static Standin &use(const std::string &variant = "complete");
    static std::string install_dir(const std::string &variant);

    // Forgets every script, entry and count.
    void reset();
    // Queues the outcome of the next unscripted call of `function`: its return
    // value (for functions returning a pointer, 0 means null and anything else
    // the normal result), the errno it leaves, and a function-specific value:
    // the result code for ldap_parse_result and ldap_get_option, the message
    // id for ldap_start_tls, the count for ldap_count_entries.
    void script(const std::string &function, long result, int error_number = 0, int value = 0);
    // Entries that searches answer with: "dn: ..." starts an entry, "attr:
    // value" lines follow, a blank line ends it.
    void set_entries(const std::string &entries);
    int calls(const std::string &function);  // since the last reset
    // The last add, modify or delete: "op dn\n" and a line "OP type=value|value" a modification.
    std::string last_update();
    // The last search: "base=...|scope=N|filter=...|timeout=S or none|attrs=A,B,...".
    std::string last_search();
    // Messages, names and value arrays handed out and not given back.
    long live_allocations();
    // Gives back every message still out: the caller's part for a variant without ldap_msgfree.
    void release_messages();

private:
    explicit Standin(void *library) : library_(library) {}
    template <typename Function>
    Function symbol(const char *name);
    void *library_;
};

#endif
