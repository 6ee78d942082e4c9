#pragma once
// The serial port on Windows: a COM device through CreateFile, its
// device-control record (DCB) for mark/space parity, the serial time-out
// record as the engine sets it, PurgeComm, FlushFileBuffers and
// EscapeCommFunction for RTS.
#ifdef _WIN32

#include "sbus/SerialPort.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace pelsbus {

// "COM3" and "com12" become "\\.\COM3", "\\.\COM12" (COM10 and up open
// only that way); any other name is taken as given.
std::string Win32DevicePath(const std::string& device);
// The engine's fields written into a DCB read from the device; the other
// fields stay as they were, software flow control goes (binary line).
void ApplyToDcb(const CommSettings& s, DCB& d);
CommSettings FromDcb(const DCB& d);
// The engine's time-out record; waits it leaves unbounded end after a minute.
COMMTIMEOUTS ToCommTimeouts(const CommTimeouts& t);

class Win32SerialPort final : public SerialPort {
public:
    ~Win32SerialPort() override { Close(); }
    bool Open(const std::string& device, int& osError) override;
    bool IsOpen() const override { return h_ != INVALID_HANDLE_VALUE; }
    void Close() override;
    bool GetSettings(CommSettings& s) override;
    bool SetSettings(const CommSettings& s) override;
    bool SetTimeouts(const CommTimeouts& t) override;
    bool Discard() override;
    bool Drain() override;
    bool Write(const uint8_t* bytes, size_t n) override;
    bool Read(uint8_t* buf, size_t want, size_t& got) override;
    bool SetRts(bool on) override;

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
    DCB base_{}; // as read from the device
};

} // namespace pelsbus

#endif // _WIN32
