#include "sbus/NetSocket.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

namespace pelsbus::net {

bool Resolve(const std::string& host, uint16_t port, sockaddr_storage& out, socklen_t& length,
             std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        error = gai_strerror(rc);
        return false;
    }
    std::memcpy(&out, found->ai_addr, found->ai_addrlen);
    length = found->ai_addrlen;
    freeaddrinfo(found);
    return true;
}

Handle OpenUdp(int family, std::string& error) {
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) error = std::strerror(errno);
    return fd < 0 ? kNone : fd;
}

void Close(Handle h) {
    if (h != kNone) ::close(static_cast<int>(h));
}

int WaitReadable(Handle h, int ms) {
    pollfd p{static_cast<int>(h), POLLIN, 0};
    int pr;
    do
        pr = ::poll(&p, 1, ms);
    while (pr < 0 && errno == EINTR);
    return pr < 0 ? -1 : (pr > 0 ? 1 : 0);
}

void SendTo(Handle h, const uint8_t* bytes, size_t n, const sockaddr_storage& to,
            socklen_t length) {
    ssize_t sent;
    do
        sent = ::sendto(static_cast<int>(h), bytes, n, 0, reinterpret_cast<const sockaddr*>(&to),
                        length);
    while (sent < 0 && errno == EINTR);
}

long ReceiveFrom(Handle h, uint8_t* buffer, size_t room, sockaddr_storage& from,
                 socklen_t& length) {
    length = sizeof from;
    return static_cast<long>(::recvfrom(static_cast<int>(h), buffer, room, MSG_TRUNC | MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &length));
}

} // namespace pelsbus::net
