// Data transfers: argument checks, splitting into telegrams, copying values
// between the caller's array and the requests.
#include "sbus/Engine.h"

#include <algorithm>
#include <cstring>

namespace pelsbus {

namespace {

// Family checks, in the order callers see them: limits, then the open state.
int32_t CheckFamily(uint8_t command, int16_t address, int16_t count, const void* values,
                    bool open) {
    const int32_t limit = FamilyLimit(command);
    if (address < 0 || address > limit - 1) return kBadParameter;
    if (count > limit - address) return kBadParameter;
    // A null array would be written through; refuse it like any bad argument.
    if (count > 0 && !values) return kBadParameter;
    if (!open) return kNotOpen;
    return kOk;
}

} // namespace

template <typename Copy>
int32_t Engine::Split(SbusRequest& r, int32_t count, int32_t perTelegram, bool write, Copy copy) {
    for (int32_t done = 0; done < count;) {
        const int32_t n = std::min(count - done, perTelegram);
        r.count = n;
        if (write) copy(r, done, n);
        if (int32_t rc = write ? WriteTelegram(r) : ReadTelegram(r)) return rc;
        if (!write) copy(r, done, n);
        done += n;
        r.address += n;
    }
    return kOk;
}

int32_t Engine::ReadBits(uint8_t command, int16_t address, int16_t count, int16_t* values) {
    if (int32_t rc = CheckFamily(command, address, count, values, open_)) return rc;
    SbusRequest r;
    r.station = s_.station;
    r.command = command;
    r.address = address;
    return Split(r, count, kMaxBits, false, [&](SbusRequest& t, int32_t done, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            values[done + i] = static_cast<int16_t>(t.values[i]);
    });
}

int32_t Engine::WriteBits(uint8_t command, int16_t address, int16_t count, const int16_t* values) {
    if (int32_t rc = CheckFamily(command, address, count, values, open_)) return rc;
    SbusRequest r;
    r.station = s_.station;
    r.command = command;
    r.address = address;
    return Split(r, count, kMaxBits, true, [&](SbusRequest& t, int32_t done, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            t.values[i] = values[done + i];
    });
}

int32_t Engine::ReadValues(uint8_t command, int16_t address, int16_t count, int32_t* values) {
    if (int32_t rc = CheckFamily(command, address, count, values, open_)) return rc;
    SbusRequest r;
    r.station = s_.station;
    r.command = command;
    r.address = address;
    return Split(r, count, kMaxValues, false, [&](SbusRequest& t, int32_t done, int32_t n) {
        std::copy_n(t.values, n, values + done);
    });
}

int32_t Engine::WriteValues(uint8_t command, int16_t address, int16_t count,
                            const int32_t* values) {
    if (int32_t rc = CheckFamily(command, address, count, values, open_)) return rc;
    SbusRequest r;
    r.station = s_.station;
    r.command = command;
    r.address = address;
    return Split(r, count, kMaxValues, true, [&](SbusRequest& t, int32_t done, int32_t n) {
        std::copy_n(values + done, n, t.values);
    });
}

int32_t Engine::ReadDbItems(int16_t db, int16_t item, int16_t count, int32_t* values) {
    if (count <= 0 || !values) return kBadParameter;
    SbusRequest r;
    r.station = s_.station;
    r.command = cmd::kReadDbItems;
    r.db = static_cast<uint16_t>(db);
    r.address = static_cast<uint16_t>(item);
    return Split(r, count, kMaxValues, false, [&](SbusRequest& t, int32_t done, int32_t n) {
        std::copy_n(t.values, n, values + done);
    });
}

int32_t Engine::WriteDbItems(int16_t db, int16_t item, int16_t count, const int32_t* values) {
    if (count <= 0 || !values) return kBadParameter;
    SbusRequest r;
    r.station = s_.station;
    r.command = cmd::kWriteDbItems;
    r.db = static_cast<uint16_t>(db);
    r.address = static_cast<uint16_t>(item);
    return Split(r, count, kMaxValues, true, [&](SbusRequest& t, int32_t done, int32_t n) {
        std::copy_n(values + done, n, t.values);
    });
}

int32_t Engine::ReadDbBytes(int16_t db, int16_t offset, int16_t count, uint8_t* bytes) {
    // Negative offsets and counts have no meaning on the wire.
    if (offset < 0 || count < 0 || (count > 0 && !bytes)) return kBadParameter;
    const int32_t r0 = offset % 4;
    int32_t byteCount = count;
    int32_t words = (byteCount + r0 - 1) / 4 + 1;
    int32_t head = std::min(4 - r0, byteCount);
    if (head == 4) head = 0;
    SbusRequest r;
    r.station = s_.station;
    r.command = cmd::kReadDbBytes;
    r.db = static_cast<uint16_t>(db);
    r.address = offset / 4;
    int32_t rc = kOk;
    bool first = true;
    uint8_t* dest = bytes;
    while (words > 0) {
        const int32_t n = std::min(words, int32_t{kMaxValues});
        r.count = n;
        rc = ReadTelegram(r);
        if (rc) return rc;
        const uint8_t* area = reinterpret_cast<const uint8_t*>(r.values);
        int32_t available = 4 * n;
        if (first && head != 0) {
            std::memcpy(dest, area + r0, static_cast<size_t>(head));
            dest += head;
            byteCount -= head;
            area += 4;
            available -= 4;
        }
        const int32_t take = std::min(available, byteCount);
        if (take > 0) {
            std::memcpy(dest, area, static_cast<size_t>(take));
            dest += take;
            byteCount -= take;
        }
        first = false;
        r.address += n;
        words -= n;
    }
    return rc;
}

int32_t Engine::ReadBlockSizes(char type, int16_t block, int16_t count, int32_t* sizes) {
    static const char kTypes[] = "CXPFSTEDBIA";
    const char* hit = type ? std::strchr(kTypes, type) : nullptr;
    if (!hit || count <= 0 || !sizes) return kBadParameter;
    SbusRequest r;
    r.station = s_.station;
    r.command = cmd::kReadBlockSizes;
    r.blockType = static_cast<uint8_t>(hit - kTypes);
    r.address = static_cast<uint16_t>(block);
    return Split(r, count, kMaxValues, false, [&](SbusRequest& t, int32_t done, int32_t n) {
        std::copy_n(t.values, n, sizes + done);
    });
}

int32_t Engine::ReadStatus(int16_t /*cpu*/, int32_t* status) {
    if (!status) return kBadParameter;
    SbusRequest r;
    r.station = s_.station;
    r.command = cmd::kReadStatus;
    r.count = 1;
    if (int32_t rc = ReadTelegram(r)) return rc;
    switch (static_cast<char>(r.values[0])) {
    case 'D':
        *status = 1;
        break;
    case 'R':
        *status = 2;
        break;
    case 'S':
        *status = 3;
        break;
    case 'B':
        *status = 9;
        break;
    case 'H':
        *status = 4;
        break;
    case 'C':
        *status = 5;
        break;
    default:
        *status = 6;
    }
    return kOk;
}

namespace {

// Two BCD digits, or -1 when a nibble is no digit.
int32_t FromBcd(int32_t b) {
    const int32_t hi = b >> 4 & 0xF, lo = b & 0xF;
    return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}

} // namespace

int32_t Engine::ReadClock(int32_t* clock8) {
    if (!clock8) return kBadParameter;
    SbusRequest r;
    r.station = s_.station;
    r.command = cmd::kReadClock;
    r.count = 1;
    if (int32_t rc = ReadTelegram(r)) return rc;
    int32_t v[kClockBytes];
    for (size_t i = 0; i < kClockBytes; ++i)
        if ((v[i] = FromBcd(r.values[i])) < 0) return kBadResponse;
    // A clock that cannot be a time of day is a spoiled answer, not a value.
    const bool valid = v[1] >= 1 && v[1] <= 7 && v[3] >= 1 && v[3] <= 12 && v[4] >= 1 &&
                       v[4] <= 31 && v[5] <= 23 && v[6] <= 59 && v[7] <= 59;
    if (!valid) return kBadResponse;
    // Two year digits: 90..99 are the 1990s, the rest this century.
    v[2] += v[2] >= 90 ? 1900 : 2000;
    std::copy_n(v, kClockBytes, clock8);
    return kOk;
}

} // namespace pelsbus
