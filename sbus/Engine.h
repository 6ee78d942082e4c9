#pragma once
// The library's one state and everything that works on it: settings, open and
// close, the two telegram exchanges and the data transfers built on them.
// The exported C functions are thin wrappers around one Engine.

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

class Engine {
public:
    Engine(SerialPort& port, Services& services) : port_(port), sv_(services) {}

    // Setters and lifecycle
    int32_t SetParameter(int32_t port, int32_t baud, int32_t protocol);
    int32_t Open();
    int32_t Close();
    // Names the device of port 1..8 for this process (null or empty: back to
    // $PELSBUS_COMn, else the n-th serial port); 10 for another port number.
    int32_t SetPortName(int32_t port, const char* name);
    // The device port n opens: the host's name, $PELSBUS_COMn, the n-th ttyS.
    std::string PortDevice(int32_t port) const;
    bool IsOpen() const { return open_; }
    Settings& State() { return s_; }
    const Settings& State() const { return s_; }
    void NoMsg() { s_.noMsg = true; }

    // The two exchanges (one telegram each, with retries)
    int32_t ReadTelegram(SbusRequest& r);
    int32_t WriteTelegram(SbusRequest& r);

    // Data transfers
    int32_t ReadBits(uint8_t command, int16_t address, int16_t count, int16_t* values);
    int32_t WriteBits(uint8_t command, int16_t address, int16_t count, const int16_t* values);
    int32_t ReadValues(uint8_t command, int16_t address, int16_t count, int32_t* values);
    int32_t WriteValues(uint8_t command, int16_t address, int16_t count, const int32_t* values);
    int32_t ReadDbItems(int16_t db, int16_t item, int16_t count, int32_t* values);
    int32_t WriteDbItems(int16_t db, int16_t item, int16_t count, const int32_t* values);
    int32_t ReadDbBytes(int16_t db, int16_t offset, int16_t count, uint8_t* bytes);
    int32_t ReadBlockSizes(char type, int16_t block, int16_t count, int32_t* sizes);
    int32_t ReadStatus(int16_t cpu, int32_t* status);

    const CrcTable& Crc() const { return crc_; }

private:
    void Message(const char* text);
    void Wait(int32_t ms);
    size_t BuildRest(const SbusRequest& r, uint8_t* out) const;
    void RaiseRts();
    void LowerRts();
    // One transfer as telegrams of at most `perTelegram` elements, the address
    // advancing; `copy(r, done, n)` moves values in before a write or out after
    // a read. Stops at the first failing telegram, earlier values kept.
    template <typename Copy>
    int32_t Split(SbusRequest& r, int32_t count, int32_t perTelegram, bool write, Copy copy);

    SerialPort& port_;
    Services& sv_;
    Settings s_;
    bool open_ = false;
    CommSettings dcb_;
    CrcTable crc_;
};

// Bytes a read request expects back (data + CRC), 0 for a command the read
// exchange does not accept.
size_t ExpectedResponse(const SbusRequest& r);
// The elements per telegram and the address limit of a family transfer.
int32_t FamilyLimit(uint8_t command);

} // namespace pelsbus
