/*
 * Test-side control of the scripted stand-in client library: loads the
 * chosen variant under the provider's file name (so the driver picks it up)
 * and forwards to its control interface.
 */
#ifndef VELDLDAP_STANDIN_H
#define VELDLDAP_STANDIN_H

#include <string>

class Standin {
public:
    // Loads the variant and points the test host's installation at it.
    static Standin &use(const std::string &variant = "complete");
    static std::string install_dir(const std::string &variant);

    void reset();
    void script(const std::string &function, long result, int error_number = 0, int value = 0);
    void set_entries(const std::string &entries);
    int calls(const std::string &function);
    std::string last_update();
    std::string last_search();
    long live_allocations();
    void release_messages();

private:
    explicit Standin(void *library) : library_(library) {}
    template <typename Function>
    Function symbol(const char *name);
    void *library_;
};

#endif
