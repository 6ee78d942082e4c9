#include "sbus/UdpTransport.h"

#include <cctype>
#include <chrono>
#include <cstring>

namespace pelsbus {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr int kLongestWaitMs = 60000; // as the serial port: no wait is endless
constexpr int kPurgeLimit = 256;      // stale datagrams dropped before a request
constexpr int kMaxDatagrams = 100000; // looked at while waiting for one answer

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

} // namespace

bool IsUdpName(const std::string& name) {
    static const char kPrefix[] = "udp:";
    if (name.size() < 4) return false;
    for (size_t i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != kPrefix[i]) return false;
    return true;
}

bool SplitUdpName(const std::string& name, std::string& host, uint16_t& port, std::string& error) {
    const std::string rest = IsUdpName(name) ? name.substr(4) : name;
    std::string portText;
    bool hasPort = false;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        const std::string after = close == std::string::npos ? "" : rest.substr(close + 1);
        if (close == std::string::npos || (!after.empty() && after[0] != ':')) {
            error = "bad IPv6 address";
            return false;
        }
        host = rest.substr(1, close - 1);
        hasPort = !after.empty();
        if (hasPort) portText = after.substr(1);
    } else if (const size_t colon = rest.find(':');
               colon != std::string::npos && colon == rest.rfind(':')) {
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        hasPort = true;
    } else {
        host = rest; // no port, or an IPv6 address without brackets
    }
    if (host.empty()) {
        error = "no host";
        return false;
    }
    port = kUdpDefaultPort;
    if (!hasPort) return true;
    bool ok = !portText.empty() && portText.size() <= 5;
    for (char c : portText)
        ok = ok && std::isdigit(static_cast<unsigned char>(c));
    const unsigned long v = ok ? std::stoul(portText) : 0;
    if (v < 1 || v > 65535) {
        error = "bad port \"" + portText + "\"";
        return false;
    }
    port = static_cast<uint16_t>(v);
    return true;
}

size_t BuildUdpRequest(const CrcTable& crc, uint16_t sequence, uint8_t station, const uint8_t* body,
                       size_t length, uint8_t* out) {
    if (length > kMaxBody) length = kMaxBody;
    const size_t total = kUdpHeader + 1 + length + 2;
    out[0] = static_cast<uint8_t>(total >> 24);
    out[1] = static_cast<uint8_t>(total >> 16);
    out[2] = static_cast<uint8_t>(total >> 8);
    out[3] = static_cast<uint8_t>(total);
    out[4] = 1; // version
    out[5] = 0; // S-Bus
    out[6] = static_cast<uint8_t>(sequence >> 8);
    out[7] = static_cast<uint8_t>(sequence);
    out[8] = kUdpRequest;
    out[9] = station;
    std::memcpy(out + 10, body, length);
    const uint16_t c = SbusCrc16(crc, 0, out, total - 2);
    out[total - 2] = static_cast<uint8_t>(c >> 8);
    out[total - 1] = static_cast<uint8_t>(c);
    return total;
}

Outcome ParseUdpAnswer(const CrcTable& crc, const uint8_t* frame, size_t n, uint16_t sequence,
                       bool write, uint8_t* data, size_t expected, bool& foreign) {
    foreign = true;
    if (n < kUdpHeader + 2) return Outcome::Nothing;
    const uint32_t length =
        uint32_t(frame[0]) << 24 | uint32_t(frame[1]) << 16 | uint32_t(frame[2]) << 8 | frame[3];
    if (length != n || frame[4] != 1 || frame[5] != 0 || Get16(frame + 6) != sequence)
        return Outcome::Nothing;
    const uint8_t attribute = frame[8];
    if (attribute != kUdpResponse && attribute != kUdpAcknowledge) return Outcome::Nothing;
    foreign = false;
    if (SbusCrc16(crc, 0, frame, n - 2) != Get16(frame + n - 2)) return Outcome::BadCrc;
    const uint8_t* telegram = frame + kUdpHeader;
    const size_t size = n - kUdpHeader - 2;
    if (attribute == kUdpAcknowledge) {
        if (size != 2) return write ? Outcome::Other : Outcome::WrongLength;
        if (Get16(telegram) != 0) return Outcome::Nak;
        return write ? Outcome::Ack : Outcome::WrongLength;
    }
    if (write) return Outcome::Other;
    if (size != expected || size > kMaxAnswer) return Outcome::WrongLength;
    std::memcpy(data, telegram, size);
    return Outcome::Answer;
}

UdpTransport::UdpTransport(const Link& link, const CrcTable& crc) : link_(link), crc_(crc) {
    // Not 0 after every start, so a host restarted at once does not take a
    // late answer meant for its previous run.
    sequence_ = static_cast<uint16_t>(SteadyClock::now().time_since_epoch().count() >> 10);
}

int32_t UdpTransport::Open(const std::string& name) {
    if (fd_ != net::kNone) return kPortError;
    std::string host, error;
    uint16_t port = 0;
    if (SplitUdpName(name, host, port, error) &&
        net::Resolve(host, port, peer_, peerLength_, error))
        fd_ = net::OpenUdp(peer_.ss_family, error);
    if (fd_ == net::kNone) {
        const std::string text = "Error: Cannot open the UDP channel " + name + ". [" + error + "]";
        link_.Message(text.c_str());
        return kPortError;
    }
    to_ = link_.s.timeouts;
    return kOk;
}

void UdpTransport::Close() {
    net::Close(fd_);
    fd_ = net::kNone;
}

bool UdpTransport::FromPeer(const sockaddr_storage& from) const {
    if (from.ss_family != peer_.ss_family) return false;
    if (from.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(from);
        const auto& b = reinterpret_cast<const sockaddr_in&>(peer_);
        return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
    }
    if (from.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(from);
        const auto& b = reinterpret_cast<const sockaddr_in6&>(peer_);
        return a.sin6_port == b.sin6_port &&
               std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0;
    }
    return false;
}

Outcome UdpTransport::Exchange(const Attempt& a) {
    if (fd_ == net::kNone) return Outcome::Failed;
    uint8_t frame[2048];
    sockaddr_storage from{};
    socklen_t fromLength = 0;
    // What an earlier telegram left behind is no answer to this one.
    for (int i = 0; i < kPurgeLimit && net::WaitReadable(fd_, 0) > 0; ++i)
        net::ReceiveFrom(fd_, frame, sizeof frame, from, fromLength);
    const size_t n = BuildUdpRequest(crc_, sequence_, a.station, a.body, a.length, frame);
    net::SendTo(fd_, frame, n, peer_, peerLength_);

    // The serial read time-outs, counted on the bytes a serial answer would have.
    const size_t want = a.write ? 1 : a.expected + 2;
    const bool immediate =
        to_.readInterval == kMaxDword && to_.readMultiplier == 0 && to_.readConstant == 0;
    uint64_t total = uint64_t{to_.readMultiplier} * want + to_.readConstant;
    if (to_.readMultiplier == kMaxDword || to_.readConstant == kMaxDword || total == 0 ||
        total > kLongestWaitMs)
        total = kLongestWaitMs;
    if (immediate) total = 0;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(total);
    for (int round = 0; round < kMaxDatagrams; ++round) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                .count();
        if (round > 0 && left <= 0) break;
        if (net::WaitReadable(fd_, left > 0 ? static_cast<int>(left) : 0) <= 0)
            return Outcome::Nothing;
        const long r = net::ReceiveFrom(fd_, frame, sizeof frame, from, fromLength);
        // An ICMP error of an earlier send, or a datagram from someone else.
        if (r < 0 || !FromPeer(from) || static_cast<size_t>(r) > sizeof frame) continue;
        bool foreign = true;
        const Outcome o = ParseUdpAnswer(crc_, frame, static_cast<size_t>(r), sequence_, a.write,
                                         a.data, a.expected, foreign);
        if (!foreign) return o;
    }
    return Outcome::Nothing;
}

} // namespace pelsbus
