#pragma once
// PG5's communication library as a PcdDriver, over the connection's PG5 calls.

#include "pcd/PcdDriver.h"

namespace pelkor {

class PcdConnection;

class Pg5Driver : public PcdDriver {
public:
    explicit Pg5Driver(PcdConnection& connection) : c_(connection) {}

    bool PrepareConnect(int task, int32_t baud) override;
    int32_t Connect(int16_t station, int32_t baud) override;
    void StationFailed(int32_t code) override;
    std::string FailureHint() override { return {}; }
    int16_t ConnectedStation() const override;
    PcdChannel Channel() const override { return PcdChannel::Pg5; }
    int32_t SetStation(int16_t station) override;
    bool IpMovable() const override { return true; }
    bool MoveTo(int16_t station, const std::string& ip) override;
    bool UdpChannel() const override { return false; }
    int32_t ReadStatus(int32_t& status) override;
    int32_t ReadBits(char letter, int16_t address, int16_t count) override;
    int32_t ReadRegisters(int16_t address, int16_t count, int16_t firstIndex) override;
    bool CanReadClock() const override { return true; }
    int32_t ReadClock() override;
    void Close() override;
    bool LosesClosedPort() const override { return false; }

private:
    PcdConnection& c_;
};

} // namespace pelkor
