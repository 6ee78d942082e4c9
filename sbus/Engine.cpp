#include "sbus/Engine.h"
#include "sbus/Platform.h"

#include <cstdio>
#include <cstdlib>

namespace pelsbus {

void CrcTable::Build() {
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b)
            c = (c & 0x8000) ? static_cast<uint16_t>(c << 1 ^ 0x1021)
                             : static_cast<uint16_t>(c << 1);
        t_[i] = c;
    }
}

uint16_t SbusCrc16(const CrcTable& table, uint16_t start, const uint8_t* bytes, size_t length) {
    uint16_t crc = start;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>(crc << 8 ^ table[static_cast<uint8_t>(crc >> 8 ^ bytes[i])]);
    return crc;
}

using namespace cmd;

namespace {

bool IsBitRead(uint8_t c) {
    return c == kReadFlag || c == kReadInput || c == kReadOutput;
}
bool IsValueRead(uint8_t c) {
    return c == kReadCounter || c == kReadRegister || c == kReadTimer || c == kReadText ||
           c == kReadDbItems;
}
bool IsWrite(uint8_t c) {
    return c == kWriteCounter || c == kWriteFlag || c == kWriteOutput || c == kWriteRegister ||
           c == kWriteTimer || c == kWriteDbItems;
}
// Requests that are the command alone.
bool IsBare(uint8_t c) {
    return c == kReadStatus || c == kReadClock;
}

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
    return static_cast<int32_t>(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
                                p[3]);
}
// A count outside 1..max would overrun the request's slots; the data calls
// never build one, but the exchanges are reachable on their own.
int32_t Clamp(int32_t count, int32_t max) {
    return count < 1 ? 1 : (count > max ? max : count);
}

} // namespace

size_t ExpectedData(const SbusRequest& r) {
    if (IsBitRead(r.command)) return static_cast<size_t>((Clamp(r.count, kMaxBits) + 7) / 8);
    if (IsValueRead(r.command) || r.command == kReadBlockSizes || r.command == kReadDbBytes)
        return static_cast<size_t>(4 * Clamp(r.count, kMaxValues));
    if (r.command == kReadStatus) return 1;
    if (r.command == kReadClock) return kClockBytes;
    return 0;
}

int32_t FamilyLimit(uint8_t command) {
    switch (command) {
    case kReadFlag:
    case kReadInput:
    case kReadOutput:
    case kWriteFlag:
    case kWriteOutput:
        return 8192;
    case kReadCounter:
    case kReadTimer:
    case kWriteCounter:
    case kWriteTimer:
        return 1600;
    case kReadRegister:
    case kWriteRegister:
        return 4096;
    default:
        return 0;
    }
}

int32_t Engine::SetParameter(int32_t port, int32_t baud, int32_t protocol) {
    int32_t result = kOk;
    if (port < 1 || port > 8) result = kBadParameter;
    switch (baud) {
    case 150:
    case 300:
    case 600:
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 19200:
    case 38400:
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
    return DefaultPortDevice(port);
}

int32_t Engine::Open() {
    if (!s_.parametersSet) return kNotOpen;
    // A port whose device went away was closed under the open mark: open it
    // again, so a host that reopens after every failure gets its line back.
    if (open_ && !transport_->IsOpen()) Close();
    if (open_) return kPortError;
    const std::string device = PortDevice(s_.port);
    Transport& t = IsUdpName(device) ? static_cast<Transport&>(udp_) : serial_;
    if (int32_t rc = t.Open(device)) return rc;
    transport_ = &t;
    open_ = true;
    return kOk;
}

int32_t Engine::Close() {
    for (Transport* t : {static_cast<Transport*>(&serial_), static_cast<Transport*>(&udp_)})
        if (t->IsOpen()) t->Close();
    transport_ = &serial_;
    open_ = false;
    return kOk;
}

// The request after the station byte, without the CRC.
size_t BuildBody(const SbusRequest& r, uint8_t* out) {
    uint8_t* p = out;
    const uint8_t c = r.command;
    *p++ = c;
    const uint32_t addr = static_cast<uint32_t>(r.address);
    if (IsBare(c)) return static_cast<size_t>(p - out);
    if (c == kWriteFlag || c == kWriteOutput) {
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
    } else if (IsWrite(c)) {
        const int32_t n = Clamp(r.count, kMaxValues);
        *p++ = static_cast<uint8_t>(4 * n + (c == kWriteDbItems ? 3 : 1));
        if (c == kWriteDbItems) Put16(p, static_cast<uint32_t>(r.db));
        Put16(p, addr);
        for (int i = 0; i < n; ++i)
            Put32(p, static_cast<uint32_t>(r.values[i]));
    } else {
        const int32_t n = Clamp(r.count, IsBitRead(c) ? kMaxBits : kMaxValues);
        *p++ = static_cast<uint8_t>(n - 1);
        if (c == kReadDbItems || c == kReadDbBytes) Put16(p, static_cast<uint32_t>(r.db));
        if (c == kReadBlockSizes) *p++ = r.blockType;
        if (c == kReadDbBytes) *p++ = static_cast<uint8_t>(addr >> 16);
        Put16(p, addr);
    }
    return static_cast<size_t>(p - out);
}

void DecodeAnswer(SbusRequest& r, const uint8_t* answer) {
    if (IsBitRead(r.command)) {
        for (int32_t i = 0; i < Clamp(r.count, kMaxBits); ++i)
            r.values[i] = (answer[i / 8] >> (i % 8)) & 1;
    } else if (r.command == kReadStatus) {
        r.values[0] = answer[0];
    } else if (r.command == kReadClock) {
        for (size_t i = 0; i < kClockBytes; ++i)
            r.values[i] = answer[i];
    } else if (r.command == kReadDbBytes) {
        // Kept in wire order: the caller copies bytes.
        for (int32_t i = 0; i < Clamp(r.count, kMaxValues); ++i) {
            uint8_t* slot = reinterpret_cast<uint8_t*>(&r.values[i]);
            for (int b = 0; b < 4; ++b)
                slot[b] = answer[4 * i + b];
        }
    } else {
        for (int32_t i = 0; i < Clamp(r.count, kMaxValues); ++i)
            r.values[i] = Get32(answer + 4 * i);
    }
}

int32_t Engine::ReadTelegram(SbusRequest& r) {
    const size_t expected = ExpectedData(r);
    if (expected == 0) return kFailed;
    if (s_.retries < 1) return kBadParameter;
    uint8_t body[kMaxBody];
    uint8_t data[kMaxAnswer];
    Attempt a;
    a.station = static_cast<uint8_t>(r.station);
    a.body = body;
    a.length = BuildBody(r, body);
    a.data = data;
    a.expected = expected;
    transport_->NextTelegram();
    Outcome last = Outcome::Nothing;
    for (int32_t attempt = 0; attempt < s_.retries; ++attempt) {
        last = transport_->Exchange(a);
        if (last == Outcome::Failed) return kFailed;
        if (last == Outcome::Answer) {
            DecodeAnswer(r, data);
            Wait(s_.wait[3]);
            return kOk;
        }
        if (last == Outcome::Nak) return kNak;
        if (last == Outcome::BadCrc) continue;
        Wait(s_.wait[3]);
    }
    // Only the last attempt decides.
    if (last == Outcome::BadCrc) return kBadCrc;
    if (last == Outcome::Nothing) return kNoResponse;
    return kBadResponse;
}

int32_t Engine::WriteTelegram(SbusRequest& r) {
    if (!IsWrite(r.command)) return kFailed;
    if (s_.retries < 1) return kBadParameter;
    uint8_t body[kMaxBody];
    Attempt a;
    a.station = static_cast<uint8_t>(r.station);
    a.body = body;
    a.length = BuildBody(r, body);
    a.write = true;
    transport_->NextTelegram();
    Outcome last = Outcome::Nothing;
    for (int32_t attempt = 0; attempt < s_.retries; ++attempt) {
        last = transport_->Exchange(a);
        if (last == Outcome::Failed) return kFailed;
        if (last == Outcome::Nothing) return kNoResponse;
        Wait(s_.wait[3]);
        if (last == Outcome::Ack) return kOk;
    }
    if (last == Outcome::Nak) return kNak;
    return last == Outcome::BadCrc ? kBadCrc : kBadResponse;
}

} // namespace pelsbus
