#pragma once
// Little-endian field access shared by the compound-file and record layers.
// Callers check bounds first; these only move bytes.

#include <cstdint>
#include <cstring>
#include <string>

namespace pelkor::xls::bytes {

inline uint16_t U16(const char* p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}
inline uint32_t U32(const char* p) {
    return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16;
}
inline uint64_t U64(const char* p) {
    return U32(p) | static_cast<uint64_t>(U32(p + 4)) << 32;
}

inline void Put16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}
inline void Put32(char* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v & 0xFFFF));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void Put64(char* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline void Add8(std::string& s, uint8_t v) {
    s.push_back(static_cast<char>(v));
}
inline void Add16(std::string& s, uint16_t v) {
    char b[2];
    Put16(b, v);
    s.append(b, 2);
}
inline void Add32(std::string& s, uint32_t v) {
    char b[4];
    Put32(b, v);
    s.append(b, 4);
}
inline void AddDouble(std::string& s, double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    Add32(s, static_cast<uint32_t>(v));
    Add32(s, static_cast<uint32_t>(v >> 32));
}
inline double Double(const char* p) {
    const uint64_t v = U64(p);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

} // namespace pelkor::xls::bytes
