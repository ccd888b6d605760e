/*
 * Misbehaving servers on 127.0.0.1 for connection-failure tests: a listener
 * on a free port whose background thread accepts every connection and then
 * never answers, closes it at once, or sends bytes that are no LDAP message.
 * The thread and every connection end with the object.
 */
#ifndef VELDLDAP_LOOPBACK_SERVERS_H
#define VELDLDAP_LOOPBACK_SERVERS_H

#include <atomic>
#include <string>
#include <thread>
#include <vector>

enum class LoopbackBehaviour {
    silent,   // keeps the connection open and never sends a byte
    closing,  // closes the connection as soon as it is accepted
    garbage,  // sends garbage bytes at once and keeps the connection open
};

class LoopbackServer {
public:
    explicit LoopbackServer(LoopbackBehaviour behaviour);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    int port() const { return port_; }
    std::string url() const;  // "ldap://127.0.0.1:PORT"
    // Connections accepted so far.
    int connections() const { return accepted_.load(); }

private:
    void serve();
    void handle(int connection);

    LoopbackBehaviour behaviour_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::vector<int> held_;  // only the serving thread touches it
    std::thread thread_;
};

#endif
