#include "support/loopback_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

LoopbackServer::LoopbackServer(LoopbackBehaviour behaviour) : behaviour_(behaviour) {
    // Close-on-exec, so that a slapd started by the same test does not keep
    // the listener open after this object has gone.
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0) {
        const std::string reason = std::strerror(errno);
        if (listener_ >= 0) ::close(listener_);
        throw std::runtime_error("loopback server: " + reason);
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&LoopbackServer::serve, this);
}

LoopbackServer::~LoopbackServer() {
    const char stop = 0;
    while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    for (int fd : held_) ::close(fd);
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string LoopbackServer::url() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

void LoopbackServer::serve() {
    pollfd watched[2] = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (;;) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watched[0].revents != 0) return;
        if ((watched[1].revents & POLLIN) == 0) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        ++accepted_;
        handle(connection);
    }
}

void LoopbackServer::handle(int connection) {
    switch (behaviour_) {
    case LoopbackBehaviour::closing:
        ::close(connection);
        return;
    case LoopbackBehaviour::garbage: {
        // Starts like no BER element a client expects: a tag that never ends.
        static const std::string bytes = std::string(16, '\xff') + "this is not an LDAP message\r\n";
        // A short write is fine: the client sees garbage either way.
        (void)!::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        break;
    }
    case LoopbackBehaviour::silent:
        break;
    }
    held_.push_back(connection);
}
