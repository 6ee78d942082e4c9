#ifdef _WIN32
// Winsock for the UDP transport. Started once per process on first use and
// left to the process's end, as the library's port is.
#include "sbus/NetSocket.h"

#include <mswsock.h>

#include <cstring>
#include <mutex>

namespace pelsbus::net {

namespace {

std::string SystemText(int code) {
    char text[256] = {};
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s.empty() ? "error " + std::to_string(code) : s;
}

bool Started(std::string& error) {
    static int rc = -1;
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        rc = WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (rc != 0) error = "WSAStartup: " + SystemText(rc);
    return rc == 0;
}

} // namespace

bool Resolve(const std::string& host, uint16_t port, sockaddr_storage& out, socklen_t& length,
             std::string& error) {
    if (!Started(error)) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        error = SystemText(rc);
        return false;
    }
    std::memcpy(&out, found->ai_addr, found->ai_addrlen);
    length = static_cast<socklen_t>(found->ai_addrlen);
    freeaddrinfo(found);
    return true;
}

Handle OpenUdp(int family, std::string& error) {
    if (!Started(error)) return kNone;
    const SOCKET s = ::socket(family, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = SystemText(WSAGetLastError());
        return kNone;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    // Without this an ICMP "port unreachable" of one send makes every later
    // receive fail until the socket is reopened.
    BOOL reset = FALSE;
    DWORD bytes = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &reset, sizeof reset, nullptr, 0, &bytes, nullptr, nullptr);
    return static_cast<Handle>(s);
}

void Close(Handle h) {
    if (h != kNone) closesocket(static_cast<SOCKET>(h));
}

int WaitReadable(Handle h, int ms) {
    fd_set in;
    FD_ZERO(&in);
    FD_SET(static_cast<SOCKET>(h), &in);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    const int r = ::select(0, &in, nullptr, nullptr, &tv);
    return r == SOCKET_ERROR ? -1 : (r > 0 ? 1 : 0);
}

void SendTo(Handle h, const uint8_t* bytes, size_t n, const sockaddr_storage& to,
            socklen_t length) {
    ::sendto(static_cast<SOCKET>(h), reinterpret_cast<const char*>(bytes), static_cast<int>(n), 0,
             reinterpret_cast<const sockaddr*>(&to), length);
}

long ReceiveFrom(Handle h, uint8_t* buffer, size_t room, sockaddr_storage& from,
                 socklen_t& length) {
    length = sizeof from;
    const int r =
        ::recvfrom(static_cast<SOCKET>(h), reinterpret_cast<char*>(buffer), static_cast<int>(room),
                   0, reinterpret_cast<sockaddr*>(&from), &length);
    if (r != SOCKET_ERROR) return r;
    // Winsock drops the rest of a datagram too long for the buffer; say so
    // by its length being more than the room.
    return WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(room) + 1 : -1;
}

} // namespace pelsbus::net
#endif // _WIN32
