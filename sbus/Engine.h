#pragma once
// The library's one state and everything that works on it: settings, open and
// close, the two telegram exchanges with their retry rules, and the data
// transfers built on them. The exchanges run over a transport chosen at open
// by the port's name; the exported C functions are thin wrappers around one
// Engine.

#include "sbus/Codec.h"
#include "sbus/SerialTransport.h"
#include "sbus/UdpTransport.h"

#include <string>

namespace pelsbus {

class Engine {
public:
    Engine(SerialPort& port, Services& services)
        : sv_(services), serial_(port, link_, crc_), udp_(link_, crc_) {
        crc_.Build();
    }

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
    // The real time clock as week, day of week (1 Monday..7), year (four
    // digits), month, day, hour, minute, second; 4 for an answer that is no
    // valid BCD clock.
    int32_t ReadClock(int32_t* clock8);

    const CrcTable& Crc() const { return crc_; }

private:
    void Wait(int32_t ms) { link_.Wait(ms); }
    // One transfer as telegrams of at most `perTelegram` elements, the address
    // advancing; `copy(r, done, n)` moves values in before a write or out after
    // a read. Stops at the first failing telegram, earlier values kept.
    template <typename Copy>
    int32_t Split(SbusRequest& r, int32_t count, int32_t perTelegram, bool write, Copy copy);

    Services& sv_;
    Settings s_;
    Link link_{s_, sv_};
    bool open_ = false;
    CrcTable crc_;
    SerialTransport serial_;
    UdpTransport udp_;
    // The serial transport while nothing is open: the calls without an open
    // check then fail on the closed port as they always did.
    Transport* transport_ = &serial_;
};

// Bytes a read request expects back (data + CRC), 0 for a command the read
// exchange does not accept.
inline size_t ExpectedResponse(const SbusRequest& r) {
    const size_t n = ExpectedData(r);
    return n == 0 ? 0 : n + 2;
}

} // namespace pelsbus
