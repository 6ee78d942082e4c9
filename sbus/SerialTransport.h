#pragma once
// S-Bus in parity mode over a serial port: the station byte with mark
// parity, the rest with space parity, the CRC after the data, and the waits
// and RTS handling around the parity switches.

#include "sbus/Codec.h"

namespace pelsbus {

class SerialTransport final : public Transport {
public:
    SerialTransport(SerialPort& port, const Link& link, const CrcTable& crc)
        : port_(port), link_(link), crc_(crc) {}
    int32_t Open(const std::string& device) override;
    void Close() override { port_.Close(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    Outcome Exchange(const Attempt& a) override;

private:
    void RaiseRts();
    void LowerRts();
    SerialPort& port_;
    const Link& link_;
    const CrcTable& crc_;
    CommSettings dcb_;
};

} // namespace pelsbus
