#pragma once
// What the connection manager asks of a channel: the built-in S-Bus library
// (builtin/) or PG5's communication library (pg5/). The manager keeps the
// connection state and its messages; a driver does what differs between the
// two, with the same calls and codes as the manager's wrappers.

#include <cstdint>
#include <string>

#include "pcd/ConnectionEvents.h"

namespace pelkor {

class PcdDriver {
public:
    virtual ~PcdDriver() = default;

    // Readies the channel for a connect of `task` at `baud`; false ends the
    // attempt before any station is tried.
    virtual bool PrepareConnect(int task, int32_t baud) = 0;
    // Opens the channel to `station`: 0 or below opened.
    virtual int32_t Connect(int16_t station, int32_t baud) = 0;
    // After `station`'s connect gave `code` and the status check failed.
    virtual void StationFailed(int32_t code) = 0;
    // The cause of a failed connect that the code does not tell ("" none).
    virtual std::string FailureHint() = 0;
    // The station the open channel reaches.
    virtual int16_t ConnectedStation() const = 0;
    virtual PcdChannel Channel() const = 0;

    // Below 1: the station answered.
    virtual int32_t SetStation(int16_t station) = 0;
    // Whether the channel can be moved to another IP address at all.
    virtual bool IpMovable() const = 0;
    virtual bool MoveTo(int16_t station, const std::string& ip) = 0;
    // The built-in library over UDP (a "udp:" port).
    virtual bool UdpChannel() const = 0;

    virtual int32_t ReadStatus(int32_t& status) = 0;
    // letter 'F' flags, 'I' inputs; values from index 0.
    virtual int32_t ReadBits(char letter, int16_t address, int16_t count) = 0;
    virtual int32_t ReadRegisters(int16_t address, int16_t count, int16_t firstIndex) = 0;
    virtual bool CanReadClock() const = 0;
    virtual int32_t ReadClock() = 0;
    virtual void Close() = 0;
    // Whether a "COM Closed" read means the connection is lost.
    virtual bool LosesClosedPort() const = 0;
};

} // namespace pelkor
