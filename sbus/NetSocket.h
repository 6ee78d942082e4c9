#pragma once
// The datagram socket of the UDP transport: BSD sockets or Winsock behind
// the same few calls (NetSocketPosix.cpp, NetSocketWin32.cpp).

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelsbus::net {

using Handle = intptr_t;
constexpr Handle kNone = -1;

// The first address of a host name or numeric address; false with the reason.
bool Resolve(const std::string& host, uint16_t port, sockaddr_storage& out, socklen_t& length,
             std::string& error);
// A non-blocking datagram socket of the family, or kNone with the reason.
Handle OpenUdp(int family, std::string& error);
void Close(Handle h);
// 1 when a datagram waits (or arrives within ms), 0 when none came, -1 when
// the wait itself failed.
int WaitReadable(Handle h, int ms);
void SendTo(Handle h, const uint8_t* bytes, size_t n, const sockaddr_storage& to, socklen_t length);
// One datagram: its whole length (more than `room` when it did not fit),
// -1 when none could be taken (nothing there, or an error of an earlier send).
long ReceiveFrom(Handle h, uint8_t* buffer, size_t room, sockaddr_storage& from, socklen_t& length);

} // namespace pelsbus::net
