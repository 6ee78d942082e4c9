#pragma once
// S-Bus over UDP: each telegram travels in one datagram to the PCD's port
// (5050 unless named), framed as
//
//   length (4, big-endian, the whole frame CRC included), version (1),
//   protocol type (0 = S-Bus), sequence number (2, big-endian), attribute
//   (0 request, 1 response, 2 acknowledge), the telegram, CRC-16 (2) over
//   everything before it.
//
// The request telegram is the station, the command and its bytes; a
// response carries the data bytes, an acknowledge a 2-byte code (0 ACK,
// anything else NAK). The answer repeats the request's sequence number,
// which goes up by one for each new telegram and stays for its retries.

#include "sbus/Codec.h"
#include "sbus/NetSocket.h"

#include <string>

namespace pelsbus {

constexpr uint16_t kUdpDefaultPort = 5050;
constexpr size_t kUdpHeader = 9;
constexpr uint8_t kUdpRequest = 0, kUdpResponse = 1, kUdpAcknowledge = 2;

// "udp:" in front (any case) names a UDP channel.
bool IsUdpName(const std::string& name);
// Splits "udp:HOST[:PORT]" ("udp:[v6]:PORT" for an IPv6 address with a
// port); false with the reason when the name is not of that form.
bool SplitUdpName(const std::string& name, std::string& host, uint16_t& port, std::string& error);

// The request frame; returns its length (at most kUdpHeader + 1 + kMaxBody + 2).
size_t BuildUdpRequest(const CrcTable& crc, uint16_t sequence, uint8_t station, const uint8_t* body,
                       size_t length, uint8_t* out);

// What a received datagram means for the exchange waiting on `sequence`.
// `foreign`: not an answer to it (malformed, another sequence number, a
// request), to be dropped; otherwise the outcome, with a read's data in
// `data` (room for `expected` bytes).
Outcome ParseUdpAnswer(const CrcTable& crc, const uint8_t* frame, size_t n, uint16_t sequence,
                       bool write, uint8_t* data, size_t expected, bool& foreign);

class UdpTransport final : public Transport {
public:
    UdpTransport(const Link& link, const CrcTable& crc);
    ~UdpTransport() override { Close(); }
    // Resolves the host once, here; IPv4 or IPv6.
    int32_t Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return fd_ != net::kNone; }
    void NextTelegram() override { ++sequence_; }
    Outcome Exchange(const Attempt& a) override;

private:
    bool FromPeer(const sockaddr_storage& from) const;
    const Link& link_;
    const CrcTable& crc_;
    net::Handle fd_ = net::kNone;
    sockaddr_storage peer_{};
    socklen_t peerLength_ = 0;
    CommTimeouts to_;
    uint16_t sequence_ = 0;
};

} // namespace pelsbus
