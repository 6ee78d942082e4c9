#pragma once
// The built-in S-Bus library as a PcdDriver, over the connection's wrappers.

#include "pcd/PcdDriver.h"

namespace pelkor {

class PcdConnection;

class BuiltinDriver : public PcdDriver {
public:
    explicit BuiltinDriver(PcdConnection& connection) : c_(connection) {}

    bool PrepareConnect(int task, int32_t baud) override;
    int32_t Connect(int16_t station, int32_t baud) override;
    void StationFailed(int32_t) override {}
    std::string FailureHint() override;
    int16_t ConnectedStation() const override;
    PcdChannel Channel() const override { return PcdChannel::BuiltIn; }
    int32_t SetStation(int16_t station) override;
    bool IpMovable() const override { return UdpChannel(); }
    bool MoveTo(int16_t station, const std::string& ip) override;
    bool UdpChannel() const override;
    int32_t ReadStatus(int32_t& status) override;
    int32_t ReadBits(char letter, int16_t address, int16_t count) override;
    int32_t ReadRegisters(int16_t address, int16_t count, int16_t firstIndex) override;
    bool CanReadClock() const override;
    int32_t ReadClock() override;
    void Close() override;
    bool LosesClosedPort() const override { return true; }

private:
    PcdConnection& c_;
};

} // namespace pelkor
