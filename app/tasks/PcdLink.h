#pragma once
// What the task engine needs from the PCD connection manager and from the
// DDE service, as two small interfaces. The application object adapts the
// real modules to them; tests put fakes in their place, so the scheduler and
// the reader can be driven through every fault without a line or a socket.

#include <cstdint>
#include <string>

#include "core/Task.h"

namespace pelkor {

class PcdLink {
public:
    virtual ~PcdLink() = default;

    // Opens the connection for a task (tries the stations of its list) and
    // keeps RunStatus::Connected up to date. True when connected.
    virtual bool Connect(int task) = 0;
    // Disconnects on the user's or the scheduler's request.
    virtual void Disconnect() = 0;
    // Closes the connection; an empty reason closes silently.
    virtual void Close(const std::string& reason) = 0;
    // Status check of the open station (reconnects when that is the
    // manager's policy). False with the reason in LastErrorText.
    virtual bool CheckStatus() = 0;
    // Makes another station the open one. False when it does not answer.
    virtual bool SetStation(int station) = 0;
    // Over an IP channel whose tasks may each name their PCD's address:
    // moves the link to task's address before a read of `station` there.
    // 0 nothing to do, 1 moved (the station answered), -1 the move failed
    // (reason in LastErrorText).
    virtual int MoveToTaskAddress(int /*task*/, int /*station*/) { return 0; }

    // Reads: 0 on success with the values in RegisterValue/BitValue
    // (index 0..count-1); any other code is a failure whose text is in
    // LastErrorText.
    virtual int ReadRegisters(int address, int count) = 0;
    virtual int ReadFlags(int address, int count) = 0;
    virtual int ReadInputs(int address, int count) = 0;
    virtual int ReadClock(Date& clock) = 0;
    virtual int32_t RegisterValue(int index) const = 0;
    virtual int16_t BitValue(int index) const = 0;

    // Station of the open connection.
    virtual int OpenStation() const = 0;
    // The PG5 channel runs over a PGU cable: no station change.
    virtual bool PguMode() const = 0;
    // Set by the manager when a connection attempt fails (also while a
    // reading runs); the reader stops reading once it is set. A reading
    // clears it when it starts.
    virtual bool ConnectFailed() const = 0;
    virtual void ClearConnectFailed() = 0;
    // The last close carried an error: reconnect even without auto-connection.
    virtual bool ReconnectPending() const = 0;
};

} // namespace pelkor
