#pragma once
// The serial port on Linux: termios with CMSPAR for mark/space parity,
// poll()-based reads that keep the Windows time-out semantics, exclusive use
// through TIOCEXCL and flock().

#include "sbus/SerialPort.h"

#include <string>
#include <termios.h>

namespace pelsbus {

class PosixSerialPort final : public SerialPort {
public:
    ~PosixSerialPort() override { Close(); }
    bool Open(const std::string& device, int& osError) override {
        return OpenPath(device, osError);
    }
    bool OpenPath(const std::string& path, int& osError);
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;
    bool GetSettings(CommSettings& s) override;
    bool SetSettings(const CommSettings& s) override;
    bool SetTimeouts(const CommTimeouts& t) override;
    bool Discard() override;
    bool Drain() override;
    bool Write(const uint8_t* bytes, size_t n) override;
    bool Read(uint8_t* buf, size_t want, size_t& got) override;
    bool SetRts(bool on) override;
    int Fd() const { return fd_; }

private:
    // A failed call: closes the port when errno says the device is gone; false.
    bool Failed();

    int fd_ = -1;
    termios base_{}; // as read from the device; fields we do not set stay as they were
    CommTimeouts to_;
    bool rs485_ = false;
};

// tcsetattr that tolerates the pty quirk: a pty never keeps PARENB, and glibc
// then reports EINVAL although everything else was applied.
bool ApplyTermios(int fd, const termios& t);

} // namespace pelsbus
