#ifdef _WIN32
#include "sbus/Win32SerialPort.h"

#include <cctype>

namespace pelsbus {

namespace {
constexpr DWORD kLongestWaitMs = 60000; // as on Linux: no wait is endless
}

std::string Win32DevicePath(const std::string& device) {
    bool com = device.size() > 3;
    for (size_t i = 0; com && i < device.size(); ++i)
        com = i < 3 ? std::toupper(static_cast<unsigned char>(device[i])) == "COM"[i]
                    : std::isdigit(static_cast<unsigned char>(device[i])) != 0;
    return com ? "\\\\.\\" + device : device;
}

void ApplyToDcb(const CommSettings& s, DCB& d) {
    d.DCBlength = sizeof d;
    d.BaudRate = s.baud;
    d.ByteSize = s.dataBits;
    d.Parity = s.parity == Parity::Mark    ? MARKPARITY
               : s.parity == Parity::Space ? SPACEPARITY
                                           : NOPARITY;
    d.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    d.fBinary = s.binary;
    d.fParity = s.parityCheck;
    d.fOutxCtsFlow = s.ctsFlow;
    d.fOutxDsrFlow = FALSE;
    d.fDsrSensitivity = FALSE;
    d.fOutX = FALSE;
    d.fInX = FALSE;
    d.fErrorChar = FALSE;
    d.fNull = FALSE;
    d.fAbortOnError = FALSE;
    d.fDtrControl = s.dtr == DtrControl::Enable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    d.fRtsControl = s.rts == RtsControl::Toggle   ? RTS_CONTROL_TOGGLE
                    : s.rts == RtsControl::Enable ? RTS_CONTROL_ENABLE
                                                  : RTS_CONTROL_DISABLE;
}

CommSettings FromDcb(const DCB& d) {
    CommSettings s;
    s.baud = d.BaudRate;
    s.dataBits = d.ByteSize;
    s.parity = d.Parity == MARKPARITY    ? Parity::Mark
               : d.Parity == SPACEPARITY ? Parity::Space
                                         : Parity::None;
    s.stopBits = d.StopBits == TWOSTOPBITS ? 2 : 1;
    s.binary = d.fBinary;
    s.parityCheck = d.fParity;
    s.ctsFlow = d.fOutxCtsFlow;
    s.dtr = d.fDtrControl == DTR_CONTROL_ENABLE ? DtrControl::Enable : DtrControl::Disable;
    s.rts = d.fRtsControl == RTS_CONTROL_TOGGLE   ? RtsControl::Toggle
            : d.fRtsControl == RTS_CONTROL_ENABLE ? RtsControl::Enable
                                                  : RtsControl::Disable;
    return s;
}

COMMTIMEOUTS ToCommTimeouts(const CommTimeouts& t) {
    COMMTIMEOUTS c{t.readInterval, t.readMultiplier, t.readConstant, t.writeMultiplier,
                   t.writeConstant};
    const bool immediate =
        t.readInterval == MAXDWORD && t.readMultiplier == 0 && t.readConstant == 0;
    if (!immediate && t.readMultiplier == 0 && t.readConstant == 0)
        c.ReadTotalTimeoutConstant = kLongestWaitMs;
    if (t.writeMultiplier == 0 && t.writeConstant == 0)
        c.WriteTotalTimeoutConstant = kLongestWaitMs;
    return c;
}

bool Win32SerialPort::Open(const std::string& device, int& osError) {
    if (h_ != INVALID_HANDLE_VALUE) {
        osError = ERROR_BUSY;
        return false;
    }
    // Share mode 0: nobody else opens the port while we hold it.
    h_ = CreateFileA(Win32DevicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                     OPEN_EXISTING, 0, nullptr);
    if (h_ == INVALID_HANDLE_VALUE) {
        osError = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

void Win32SerialPort::Close() {
    if (h_ == INVALID_HANDLE_VALUE) return;
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
}

bool Win32SerialPort::GetSettings(CommSettings& s) {
    base_ = DCB{};
    base_.DCBlength = sizeof base_;
    if (h_ == INVALID_HANDLE_VALUE || !GetCommState(h_, &base_)) return false;
    s = FromDcb(base_);
    return true;
}

bool Win32SerialPort::SetSettings(const CommSettings& s) {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    DCB d = base_;
    ApplyToDcb(s, d);
    return SetCommState(h_, &d) != 0;
}

bool Win32SerialPort::SetTimeouts(const CommTimeouts& t) {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    COMMTIMEOUTS c = ToCommTimeouts(t);
    return SetCommTimeouts(h_, &c) != 0;
}

bool Win32SerialPort::Discard() {
    return h_ != INVALID_HANDLE_VALUE &&
           PurgeComm(h_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
}

bool Win32SerialPort::Drain() {
    return h_ != INVALID_HANDLE_VALUE && FlushFileBuffers(h_) != 0;
}

bool Win32SerialPort::Write(const uint8_t* bytes, size_t n) {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    return WriteFile(h_, bytes, static_cast<DWORD>(n), &done, nullptr) != 0 && done == n;
}

bool Win32SerialPort::Read(uint8_t* buf, size_t want, size_t& got) {
    got = 0;
    if (h_ == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    if (!ReadFile(h_, buf, static_cast<DWORD>(want), &n, nullptr)) return false;
    got = n;
    return true;
}

bool Win32SerialPort::SetRts(bool on) {
    return h_ != INVALID_HANDLE_VALUE && EscapeCommFunction(h_, on ? SETRTS : CLRRTS) != 0;
}

} // namespace pelsbus
#endif // _WIN32
