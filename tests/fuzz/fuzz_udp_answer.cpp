// A hostile datagram given to the UDP answer parser never crashes, never
// writes past the room for the expected data, and is taken for the answer
// only when it is exactly one; any text is safe as a port name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sbus/UdpTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    static const pelsbus::CrcTable crc = [] {
        pelsbus::CrcTable t;
        t.Build();
        return t;
    }();
    // Sequence, write flag and expected length come from the first bytes;
    // the rest is the datagram, in a buffer of its own size.
    const uint16_t sequence = static_cast<uint16_t>(data[0] << 8 | data[1]);
    const bool write = data[2] & 0x80;
    const size_t expected = data[2] & 0x7F;
    const std::vector<uint8_t> frame(data + 3, data + size);
    std::vector<uint8_t> out(expected);
    bool foreign = true;
    const pelsbus::Outcome o = pelsbus::ParseUdpAnswer(crc, frame.data(), frame.size(), sequence,
                                                       write, out.data(), expected, foreign);
    if (o == pelsbus::Outcome::Answer &&
        (foreign || write || frame.size() != pelsbus::kUdpHeader + expected + 2))
        __builtin_trap();

    std::string host, error;
    uint16_t port = 0;
    if (pelsbus::SplitUdpName(std::string(frame.begin(), frame.end()), host, port, error) &&
        (host.empty() || port == 0))
        __builtin_trap();
    return 0;
}
