#pragma once
// What every transport shares: result codes, the CRC, the request record and
// the telegram codec (request bytes after the station, answer data to values),
// the library's settings, and the small interface a transport implements.

#include "sbus/SerialPort.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pelsbus {

enum Result : int32_t {
    kOk = 0,
    kNak = 1,
    kBadCrc = 3,
    kBadResponse = 4,
    kNoResponse = 6,
    kPortError = 9,
    kBadParameter = 10,
    kNotOpen = 35,
    kFailed = -1,
};

// S-Bus command codes of the telegrams this library sends.
namespace cmd {
constexpr uint8_t kReadCounter = 0;
constexpr uint8_t kReadFlag = 2;
constexpr uint8_t kReadInput = 3;
constexpr uint8_t kReadClock = 4; // real time clock
constexpr uint8_t kReadOutput = 5;
constexpr uint8_t kReadRegister = 6;
constexpr uint8_t kReadTimer = 7;
constexpr uint8_t kWriteCounter = 10;
constexpr uint8_t kWriteFlag = 11;
constexpr uint8_t kWriteOutput = 13;
constexpr uint8_t kWriteRegister = 14;
constexpr uint8_t kWriteTimer = 15;
constexpr uint8_t kReadStatus = 20; // CPU 0
constexpr uint8_t kReadText = 33;
constexpr uint8_t kReadDbItems = 150;
constexpr uint8_t kWriteDbItems = 151;
constexpr uint8_t kReadBlockSizes = 156;
constexpr uint8_t kReadDbBytes = 159;
} // namespace cmd

// Bytes of a clock answer: week, day of week, year, month, day, hour,
// minute, second, each two BCD digits.
constexpr size_t kClockBytes = 8;

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNakByte = 0x15;
constexpr int kMaxBits = 128;  // per telegram
constexpr int kMaxValues = 32; // per telegram

class CrcTable {
public:
    void Build();
    uint16_t operator[](uint8_t i) const { return t_[i]; }

private:
    std::array<uint16_t, 256> t_{};
};

// CRC-16/XMODEM continued from `start` over the bytes.
uint16_t SbusCrc16(const CrcTable& table, uint16_t start, const uint8_t* bytes, size_t length);

struct SbusRequest {
    int32_t station = -1;
    uint8_t command = 0;
    uint8_t blockType = 0;
    int32_t db = 0;
    int32_t address = 0;
    int32_t count = 0;
    int32_t values[kMaxBits] = {};
};

struct Settings {
    int32_t port = 0;
    int32_t baud = 0;
    int32_t protocol = 0;
    bool parametersSet = false;
    int32_t station = -1;
    int32_t wait[4] = {1, 1, 1, 0};
    int32_t retries = 3;
    CommTimeouts timeouts;
    bool win95 = false;
    bool noMsg = false;
    // Device names given by the host for ports 1..8 (index 0 unused); they
    // win over $PELSBUS_COMn.
    std::array<std::string, 9> portNames;
};

// Bytes of the longest request body (command and its bytes, no station, no
// CRC) and of the longest answer data.
constexpr size_t kMaxBody = 8 + kMaxValues * 4;
constexpr size_t kMaxAnswer = 4 * kMaxValues;

// Answer data bytes a read request expects (CRC not counted), 0 for a
// command the read exchange does not accept.
size_t ExpectedData(const SbusRequest& r);
// The request after the station byte, without a CRC; returns its length.
size_t BuildBody(const SbusRequest& r, uint8_t* out);
// Stores the answer data of a read into the request's values.
void DecodeAnswer(SbusRequest& r, const uint8_t* data);
// The elements per telegram and the address limit of a family transfer.
int32_t FamilyLimit(uint8_t command);

// The engine's state and platform as a transport sees them.
struct Link {
    const Settings& s;
    Services& sv;
    void Message(const char* text) const {
        if (!s.noMsg) sv.ShowError(text);
    }
    // Negative waits would be unbounded on the original platform; here they are none.
    void Wait(int32_t ms) const {
        if (ms > 0) sv.Sleep(ms);
    }
};

// How one attempt ended, as the retry rules see it.
enum class Outcome : uint8_t {
    Answer,      // read: data with a good CRC, stored
    Ack,         // write acknowledged
    Nak,         // refused
    BadCrc,      // an answer whose CRC is wrong
    Nothing,     // no answer within the read time-out
    WrongLength, // read: an answer of another length
    Other,       // write: an answer that is neither ACK nor NAK
    Failed,      // the channel itself failed (settings, read)
};

struct Attempt {
    uint8_t station = 0;
    const uint8_t* body = nullptr; // BuildBody's bytes
    size_t length = 0;
    bool write = false;      // answered by ACK/NAK instead of data
    uint8_t* data = nullptr; // read: room for `expected` bytes
    size_t expected = 0;
};

// One channel to the PCDs: the serial line in parity mode, or UDP.
class Transport {
public:
    virtual ~Transport() = default;
    // Opens the named channel with the link's settings: kOk, or kPortError
    // with the reason shown.
    virtual int32_t Open(const std::string& name) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // A new telegram begins; the attempts that follow are its retries.
    virtual void NextTelegram() {}
    virtual Outcome Exchange(const Attempt& a) = 0;
};

} // namespace pelsbus
