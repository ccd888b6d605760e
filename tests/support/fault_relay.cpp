#include "support/fault_relay.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// The protocol operation's tag of the LDAP message a chunk begins with
// (SEQUENCE, its length, the message ID, then the operation), or -1.  The
// client waits for each answer, so every chunk it sends begins a message.
int operation_tag(const unsigned char *message, std::size_t size) {
    std::size_t at = 2;
    if (size < at || message[0] != 0x30) return -1;
    if (message[1] & 0x80) at += message[1] & 0x7f;
    if (size < at + 2 || message[at] != 0x02) return -1;
    at += 2 + message[at + 1];
    return at < size ? message[at] : -1;
}

// A bind, or StartTLS (an extended request) before it.
bool binding(int tag) {
    constexpr int kBindRequest = 0x60, kExtendedRequest = 0x77;
    return tag == kBindRequest || tag == kExtendedRequest;
}

}  // namespace

FaultRelay::FaultRelay(int server_port, Fault fault, std::function<void()> act)
    : server_port_(server_port), fault_(fault), act_(std::move(act)) {
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("relay: cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { relay(); });
}

FaultRelay::~FaultRelay() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

bool FaultRelay::wait_readable(int fd) const {
    pollfd watched{fd, POLLIN, 0};
    while (!stop_)
        if (::poll(&watched, 1, 50) > 0) return true;
    return false;
}

void FaultRelay::relay() {
    if (!wait_readable(listener_)) return;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(server_port_);
    if (::connect(upstream, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) pass_on(client, upstream);
    ::close(client);
    ::close(upstream);
}

void FaultRelay::pass_on(int client, int upstream) {
    constexpr int kClient = 0, kServer = 1;
    pollfd ends[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
    bool operation_sent = false;  // the first request after the bind
    while (!stop_) {
        if (::poll(ends, 2, 50) <= 0) continue;
        for (int from = kClient; from <= kServer; ++from) {
            if (ends[from].revents == 0) continue;
            unsigned char buffer[16384];
            const ssize_t got = ::read(ends[from].fd, buffer, sizeof buffer);
            if (got <= 0) return;
            if (from == kClient && !operation_sent && !binding(operation_tag(buffer, static_cast<std::size_t>(got)))) {
                operation_sent = true;
                if (fault_ == Fault::suspend_server) {
                    act_();
                    acted_ = true;
                }
            }
            if (from == kServer && operation_sent && fault_ == Fault::drop_answer) {
                act_();
                acted_ = true;
                return;
            }
            if (::write(ends[1 - from].fd, buffer, static_cast<std::size_t>(got)) != got) return;
        }
    }
}
