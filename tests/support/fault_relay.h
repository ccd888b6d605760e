/*
 * A relay on 127.0.0.1 in front of a directory server, for runs that must
 * meet a fault in the middle of an operation: it passes one client
 * connection on to the server's port, and acts on the first request after
 * the bind (and StartTLS): the search or the add:
 * it either suspends the server before passing the request on, so that the
 * request waits for an answer that never comes, or passes the request on
 * and cuts the connection when the answer comes, so that the server did
 * the work and the client never learns it.
 */
#ifndef VELDLDAP_TESTS_FAULT_RELAY_H
#define VELDLDAP_TESTS_FAULT_RELAY_H

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class FaultRelay {
public:
    enum class Fault {
        suspend_server,  // `act` suspends the server, returning once it has stopped
        drop_answer,     // `act` runs with the answer held, before the connection is cut
    };

    FaultRelay(int server_port, Fault fault, std::function<void()> act);
    ~FaultRelay();
    FaultRelay(const FaultRelay &) = delete;
    FaultRelay &operator=(const FaultRelay &) = delete;

    std::string url() const { return "ldap://127.0.0.1:" + std::to_string(port_); }
    // Whether the fault has happened.
    bool acted() const { return acted_; }

private:
    bool wait_readable(int fd) const;
    void relay();
    void pass_on(int client, int upstream);

    int server_port_;
    Fault fault_;
    std::function<void()> act_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> acted_{false};
    std::thread thread_;
};

#endif
