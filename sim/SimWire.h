#pragma once
// The simulator's own view of the wire: request framing by position, CRC and
// the PCD float format. Written apart from the library on purpose, so the
// two check each other instead of sharing a mistake.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pcdsim::wire {

// CRC-16, polynomial 0x1021, start 0, most significant bit first.
inline uint16_t Crc16(const uint8_t* p, size_t n) {
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc = static_cast<uint16_t>(crc ^ (uint16_t(p[i]) << 8));
        for (int b = 0; b < 8; ++b)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

inline bool IsWrite(int c) {
    return c == 10 || c == 11 || c == 13 || c == 14 || c == 15 || c == 151;
}

// Length of the request that starts the buffer: the bytes needed so far when
// they do not yet tell (at least have + 1), 0 for a command with no known layout.
inline size_t RequestLength(const uint8_t* b, size_t have) {
    if (have < 2) return 2;
    switch (b[1]) {
    case 0:
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
    case 33:
        return 7;
    case 4:
    case 20:
        return 4;
    case 150:
        return 9;
    case 156:
        return 8;
    case 159:
        return 10;
    default:
        break;
    }
    if (!IsWrite(b[1])) return 0;
    if (have < 3) return 3;
    return size_t{b[2]} + 6;
}

struct Decoded {
    int count = 0;
    int address = 0;
    int db = 0; // data-block number, or the block type index for 156
    bool valid = true;
};

inline Decoded Decode(const uint8_t* b, size_t n) {
    Decoded d;
    auto u16 = [&](size_t i) { return i + 1 < n ? int(b[i]) << 8 | b[i + 1] : 0; };
    const int c = b[1];
    switch (c) {
    case 0:
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
    case 33:
        d.count = b[2] + 1;
        d.address = u16(3);
        d.valid = d.count <= ((c == 2 || c == 3 || c == 5) ? 128 : 32);
        break;
    case 150:
        d.count = b[2] + 1;
        d.db = u16(3);
        d.address = u16(5);
        break;
    case 156:
        d.count = b[2] + 1;
        d.db = b[3];
        d.address = u16(4);
        break;
    case 159:
        d.count = b[2] + 1;
        d.db = u16(3);
        d.address = int(b[5]) << 16 | u16(6);
        break;
    case 11:
    case 13: {
        const int len = b[2];
        d.address = u16(3);
        d.count = n > 5 ? b[5] + 1 : 0;
        d.valid = len >= 3 && len - 2 == (d.count + 7) / 8;
        break;
    }
    case 10:
    case 14:
    case 15: {
        const int len = b[2];
        d.address = u16(3);
        d.count = (len - 1) / 4;
        d.valid = len >= 5 && (len - 1) % 4 == 0;
        break;
    }
    case 151: {
        const int len = b[2];
        d.db = u16(3);
        d.address = u16(5);
        d.count = (len - 3) / 4;
        d.valid = len >= 7 && (len - 3) % 4 == 0;
        break;
    }
    default:
        break;
    }
    return d;
}

inline uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// S-Bus over UDP: length (4, the whole frame), version 1, type 0 (S-Bus),
// sequence (2), attribute (0 request, 1 response, 2 acknowledge), telegram,
// CRC-16 over everything before it; numbers big-endian.
constexpr size_t kUdpHeader = 9;

inline std::vector<uint8_t> UdpFrame(uint16_t sequence, uint8_t attribute,
                                     const std::vector<uint8_t>& telegram) {
    const size_t n = kUdpHeader + telegram.size() + 2;
    std::vector<uint8_t> f(n, 0);
    for (int i = 0; i < 4; ++i)
        f[static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (24 - 8 * i));
    f[4] = 1;
    f[6] = static_cast<uint8_t>(sequence >> 8);
    f[7] = static_cast<uint8_t>(sequence);
    f[8] = attribute;
    for (size_t i = 0; i < telegram.size(); ++i)
        f[kUdpHeader + i] = telegram[i];
    const uint16_t c = Crc16(f.data(), n - 2);
    f[n - 2] = static_cast<uint8_t>(c >> 8);
    f[n - 1] = static_cast<uint8_t>(c);
    return f;
}

// IEEE single -> PCD float (mantissa in bits 31..8, sign bit 7, exponent
// excess 64 in bits 6..0); out of range low gives 0, high gives all ones.
inline uint32_t IeeeToPcdFloat(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    const int e = static_cast<int>((u >> 23) & 0xFF);
    if (e < 62) return 0;
    if (e > 189) return 0xFFFFFFFFu;
    return (0x800000u | (u & 0x7FFFFFu)) << 8 | (u >> 31) << 7 | static_cast<uint32_t>(e - 62);
}

} // namespace pcdsim::wire
