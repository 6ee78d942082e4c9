#include "sbus/Engine.h"

#include <cstdio>
#include <cstdlib>

namespace pelsbus {

void CrcTable::Build() {
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b) c = (c & 0x8000) ? static_cast<uint16_t>(c << 1 ^ 0x1021) : static_cast<uint16_t>(c << 1);
        t_[i] = c;
    }
}

uint16_t SbusCrc16(const CrcTable& table, uint16_t start, const uint8_t* bytes, size_t length) {
    uint16_t crc = start;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>(crc << 8 ^ table[static_cast<uint8_t>(crc >> 8 ^ bytes[i])]);
    return crc;
}

namespace {

bool IsBitRead(uint8_t c) { return c == 2 || c == 3 || c == 5; }
bool IsValueRead(uint8_t c) { return c == 0 || c == 6 || c == 7 || c == 33 || c == 150; }
bool IsWrite(uint8_t c) { return c == 10 || c == 11 || c == 13 || c == 14 || c == 15 || c == 151; }

void Put16(uint8_t*& p, uint32_t v) {
    *p++ = static_cast<uint8_t>(v >> 8);
    *p++ = static_cast<uint8_t>(v);
}
void Put32(uint8_t*& p, uint32_t v) {
    *p++ = static_cast<uint8_t>(v >> 24);
    *p++ = static_cast<uint8_t>(v >> 16);
    *p++ = static_cast<uint8_t>(v >> 8);
    *p++ = static_cast<uint8_t>(v);
}
int32_t Get32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
}
// A count outside 1..max would overrun the request's slots; the data calls
// never build one, but the exchanges are reachable on their own.
int32_t Clamp(int32_t count, int32_t max) { return count < 1 ? 1 : (count > max ? max : count); }

} // namespace

size_t ExpectedResponse(const SbusRequest& r) {
    if (IsBitRead(r.command)) return static_cast<size_t>((Clamp(r.count, kMaxBits) + 7) / 8 + 2);
    if (IsValueRead(r.command) || r.command == 156 || r.command == 159)
        return static_cast<size_t>(4 * Clamp(r.count, kMaxValues) + 2);
    if (r.command == 20) return 3;
    return 0;
}

int32_t FamilyLimit(uint8_t command) {
    switch (command) {
    case 2: case 3: case 5: case 11: case 13: return 8192;
    case 0: case 7: case 10: case 15: return 1600;
    case 6: case 14: return 4096;
    default: return 0;
    }
}

void Engine::Message(const char* text) {
    if (!s_.noMsg) sv_.ShowError(text);
}

// Negative waits would be unbounded on the original platform; here they are none.
void Engine::Wait(int32_t ms) {
    if (ms > 0) sv_.Sleep(ms);
}

int32_t Engine::SetParameter(int32_t port, int32_t baud, int32_t protocol) {
    int32_t result = kOk;
    if (port < 1 || port > 8) result = kBadParameter;
    switch (baud) {
    case 150: case 300: case 600: case 1200: case 2400: case 4800: case 9600: case 19200: case 38400:
        break;
    default:
        result = kBadParameter;
    }
    s_.port = port;
    s_.baud = baud;
    s_.protocol = protocol;
    if (protocol == 0) return kBadParameter;
    if (result == kOk) s_.parametersSet = true;
    return result;
}

int32_t Engine::SetPortName(int32_t port, const char* name) {
    if (port < 1 || port > 8) return kBadParameter;
    s_.portNames[static_cast<size_t>(port)] = name ? name : "";
    return kOk;
}

std::string Engine::PortDevice(int32_t port) const {
    if (port >= 1 && port <= 8 && !s_.portNames[static_cast<size_t>(port)].empty())
        return s_.portNames[static_cast<size_t>(port)];
    const std::string var = "PELSBUS_COM" + std::to_string(port);
    if (const char* p = std::getenv(var.c_str()); p && *p) return p;
    return "/dev/tty" + std::string("S") + std::to_string(port - 1);
}

int32_t Engine::Open() {
    if (!s_.parametersSet) return kNotOpen;
    if (open_) return kPortError;
    int err = 0;
    if (!port_.Open(PortDevice(s_.port), err)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "Error: Cannot open the serial port. [%d]\nThe port does not exist or another \n"
                      "application use the port.",
                      err);
        Message(text);
        return kPortError;
    }
    if (!port_.GetSettings(dcb_)) {
        Message("Error: GetCommState");
        port_.Close();
        return kPortError;
    }
    dcb_.baud = static_cast<uint32_t>(s_.baud);
    dcb_.dataBits = 8;
    dcb_.parity = Parity::Space;
    dcb_.stopBits = 1;
    dcb_.binary = true;
    dcb_.parityCheck = false;
    dcb_.ctsFlow = false;
    dcb_.dtr = DtrControl::Disable;
    dcb_.rts = s_.win95 ? RtsControl::Enable : RtsControl::Toggle;
    if (!port_.SetSettings(dcb_)) {
        Message("Error: SetCommState");
        port_.Close();
        return kPortError;
    }
    port_.SetTimeouts(s_.timeouts);
    crc_.Build();
    open_ = true;
    return kOk;
}

int32_t Engine::Close() {
    if (port_.IsOpen()) port_.Close();
    open_ = false;
    return kOk;
}

void Engine::RaiseRts() {
    if (!s_.win95) return;
    port_.SetRts(true);
    dcb_.rts = RtsControl::Enable;
}

void Engine::LowerRts() {
    if (!s_.win95) return;
    Wait(8);
    port_.SetRts(false);
    dcb_.rts = RtsControl::Disable;
}

// The request after the station byte, without the CRC.
size_t Engine::BuildRest(const SbusRequest& r, uint8_t* out) const {
    uint8_t* p = out;
    const uint8_t c = r.command;
    *p++ = c;
    const uint32_t addr = static_cast<uint32_t>(r.address);
    if (c == 20) return static_cast<size_t>(p - out);
    if (c == 11 || c == 13) {
        const int32_t n = Clamp(r.count, kMaxBits);
        const int bytes = (n + 7) / 8;
        *p++ = static_cast<uint8_t>(bytes + 2);
        Put16(p, addr);
        *p++ = static_cast<uint8_t>(n - 1);
        for (int b = 0; b < bytes; ++b) {
            uint8_t v = 0;
            for (int i = 0; i < 8 && b * 8 + i < n; ++i)
                if (r.values[b * 8 + i] != 0) v |= static_cast<uint8_t>(1u << i);
            *p++ = v;
        }
    } else if (c == 10 || c == 14 || c == 15 || c == 151) {
        const int32_t n = Clamp(r.count, kMaxValues);
        *p++ = static_cast<uint8_t>(4 * n + (c == 151 ? 3 : 1));
        if (c == 151) Put16(p, static_cast<uint32_t>(r.db));
        Put16(p, addr);
        for (int i = 0; i < n; ++i) Put32(p, static_cast<uint32_t>(r.values[i]));
    } else {
        const int32_t n = Clamp(r.count, IsBitRead(c) ? kMaxBits : kMaxValues);
        *p++ = static_cast<uint8_t>(n - 1);
        if (c == 150 || c == 159) Put16(p, static_cast<uint32_t>(r.db));
        if (c == 156) *p++ = r.blockType;
        if (c == 159) *p++ = static_cast<uint8_t>(addr >> 16);
        Put16(p, addr);
    }
    return static_cast<size_t>(p - out);
}

int32_t Engine::ReadTelegram(SbusRequest& r) {
    const size_t expected = ExpectedResponse(r);
    if (expected == 0) return kFailed;
    if (s_.retries < 1) return kBadParameter;
    uint8_t rest[8 + 2 * kMaxValues * 4];
    uint8_t answer[4 * kMaxValues + 2];
    bool crcWrong = false, wrongLength = false, nothing = false;
    for (int32_t attempt = 0; attempt < s_.retries; ++attempt) {
        port_.Discard();
        RaiseRts();
        Wait(s_.wait[0]);
        crcWrong = wrongLength = nothing = false;
        dcb_.parity = Parity::Mark;
        if (!port_.SetSettings(dcb_)) return kFailed;
        Wait(s_.wait[0]);
        const uint8_t station = static_cast<uint8_t>(r.station);
        port_.Write(&station, 1);
        port_.Drain();
        uint16_t crc = SbusCrc16(crc_, 0, &station, 1);
        Wait(s_.wait[1]);
        dcb_.parity = Parity::Space;
        if (!port_.SetSettings(dcb_)) return kFailed;
        Wait(s_.wait[2]);
        size_t n = BuildRest(r, rest);
        crc = SbusCrc16(crc_, crc, rest, n);
        rest[n++] = static_cast<uint8_t>(crc >> 8);
        rest[n++] = static_cast<uint8_t>(crc);
        port_.Write(rest, n);
        port_.Drain();
        LowerRts();
        size_t got = 0;
        if (!port_.Read(answer, expected, got)) {
            Message("Error: ReadFile");
            return kFailed;
        }
        if (got == expected) {
            const size_t data = expected - 2;
            const uint16_t c = SbusCrc16(crc_, 0, answer, data);
            if (answer[data] == static_cast<uint8_t>(c >> 8) && answer[data + 1] == static_cast<uint8_t>(c)) {
                if (IsBitRead(r.command)) {
                    for (int32_t i = 0; i < Clamp(r.count, kMaxBits); ++i) r.values[i] = (answer[i / 8] >> (i % 8)) & 1;
                } else if (r.command == 20) {
                    r.values[0] = answer[0];
                } else if (r.command == 159) {
                    // Kept in wire order: the caller copies bytes.
                    for (int32_t i = 0; i < Clamp(r.count, kMaxValues); ++i) {
                        uint8_t* slot = reinterpret_cast<uint8_t*>(&r.values[i]);
                        for (int b = 0; b < 4; ++b) slot[b] = answer[4 * i + b];
                    }
                } else {
                    for (int32_t i = 0; i < Clamp(r.count, kMaxValues); ++i) r.values[i] = Get32(answer + 4 * i);
                }
                Wait(s_.wait[3]);
                return kOk;
            }
            crcWrong = true;
            continue;
        }
        if (got == 1 && answer[0] == kNakByte) return kNak;
        wrongLength = true;
        if (got == 0) nothing = true;
        Wait(s_.wait[3]);
    }
    if (crcWrong) return kBadCrc;
    if (nothing) return kNoResponse;
    if (wrongLength) return kBadResponse;
    return kBadResponse;
}

int32_t Engine::WriteTelegram(SbusRequest& r) {
    if (!IsWrite(r.command)) return kFailed;
    if (s_.retries < 1) return kBadParameter;
    uint8_t rest[8 + kMaxValues * 4 + 2];
    uint8_t last = 0;
    for (int32_t attempt = 0; attempt < s_.retries; ++attempt) {
        port_.Discard();
        RaiseRts();
        dcb_.parity = Parity::Mark;
        if (!port_.SetSettings(dcb_)) {
            Message("Error: SetCommState");
            return kFailed;
        }
        port_.Drain();
        Wait(s_.wait[0]);
        const uint8_t station = static_cast<uint8_t>(r.station);
        port_.Write(&station, 1);
        port_.Drain();
        uint16_t crc = SbusCrc16(crc_, 0, &station, 1);
        Wait(s_.wait[1]);
        dcb_.parity = Parity::Space;
        if (!port_.SetSettings(dcb_)) return kFailed;
        Wait(s_.wait[2]);
        size_t n = BuildRest(r, rest);
        crc = SbusCrc16(crc_, crc, rest, n);
        rest[n++] = static_cast<uint8_t>(crc >> 8);
        rest[n++] = static_cast<uint8_t>(crc);
        port_.Write(rest, n);
        port_.Drain();
        LowerRts();
        uint8_t b = 0;
        size_t got = 0;
        if (!port_.Read(&b, 1, got)) {
            Message("Error: ReadFile");
            return kFailed;
        }
        if (got == 0) return kNoResponse;
        if (b == kAck) {
            Wait(s_.wait[3]);
            return kOk;
        }
        last = b;
        Wait(s_.wait[3]);
    }
    return last == kNakByte ? kNak : kBadResponse;
}

} // namespace pelsbus
