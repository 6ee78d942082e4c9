#pragma once
// The serial port as the telegram engine sees it: the operations of a
// Windows-style comm port, so the engine's sequence (purge, parity switch,
// flush, bounded read) reads the same on every platform and tests can record
// each step with a scripted port.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelsbus {

enum class Parity : uint8_t { None, Mark, Space };
enum class RtsControl : uint8_t { Disable, Enable, Toggle };
enum class DtrControl : uint8_t { Disable, Enable };

// The fields of the device-control record the engine changes; a port keeps
// every other field as it read it from the device.
struct CommSettings {
    uint32_t baud = 9600;
    uint8_t dataBits = 8;
    Parity parity = Parity::Space;
    uint8_t stopBits = 1;
    bool binary = true;
    bool parityCheck = false;
    bool ctsFlow = false;
    DtrControl dtr = DtrControl::Disable;
    RtsControl rts = RtsControl::Toggle;
};

// Windows serial time-out record, milliseconds (0xFFFFFFFF = MAXDWORD).
struct CommTimeouts {
    uint32_t readInterval = 0;
    uint32_t readMultiplier = 1;
    uint32_t readConstant = 100;
    uint32_t writeMultiplier = 10;
    uint32_t writeConstant = 100;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Opens the named device for reading and writing, not shared; osError is set on failure.
    virtual bool Open(const std::string& device, int& osError) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    virtual bool GetSettings(CommSettings& s) = 0;
    virtual bool SetSettings(const CommSettings& s) = 0;
    virtual bool SetTimeouts(const CommTimeouts& t) = 0;
    // Drops whatever waits in the transmit and receive buffers.
    virtual bool Discard() = 0;
    // Returns when every written byte has left ("flush").
    virtual bool Drain() = 0;
    virtual bool Write(const uint8_t* bytes, size_t n) = 0;
    // Up to `want` bytes, bounded by the read time-outs; false only when the
    // read itself fails (a time-out is not a failure: got < want).
    virtual bool Read(uint8_t* buf, size_t want, size_t& got) = 0;
    virtual bool SetRts(bool on) = 0;
};

// What the engine needs of the rest of the platform.
class Services {
public:
    virtual ~Services() = default;
    virtual void Sleep(int32_t ms) = 0;
    // A message box with caption "ERROR" and one OK button.
    virtual void ShowError(const char* text) = 0;
};

} // namespace pelsbus
