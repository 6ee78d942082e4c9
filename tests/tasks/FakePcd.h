#pragma once
// A connection manager for task-engine tests: stations answer from memory,
// faults are switched per station, and every call is counted.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "tasks/PcdLink.h"
#include "tasks/ReadingEvents.h"

namespace pelkor::testing {

class FakePcd : public PcdLink {
public:
    explicit FakePcd(AppContext& app) : app_(app) {}

    // Stations that answer; a station not in the set does not.
    std::set<int> Answering = {0};
    // Station whose reads fail (code 6) although its status answers.
    std::set<int> ReadFails;
    // Addresses whose reads fail on every station.
    std::set<int> FailAddresses;
    int ReadFailCode = 6;
    std::string ReadFailText = "No response";
    bool Pgu = false;
    bool ConnectSucceeds = true;
    bool Pending = false;
    bool Failed = false; // the connect-failed mark
    int Station = 0;
    int32_t RegisterBase = 1000; // register a holds RegisterBase + a
    // Runs inside each read (e.g. to let the clock pass).
    std::function<void()> DuringRead;

    int Connects = 0, Disconnects = 0, Closes = 0, StatusChecks = 0, Reads = 0;
    std::vector<int> ConnectTasks;
    std::vector<std::string> CloseReasons;

    bool Connect(int task) override {
        ++Connects;
        ConnectTasks.push_back(task);
        if (!ConnectSucceeds) {
            Failed = true;
            return false;
        }
        app_.Status.Connected = 1;
        return true;
    }
    void Disconnect() override {
        ++Disconnects;
        app_.Status.Connected = 0;
    }
    void Close(const std::string& reason) override {
        ++Closes;
        CloseReasons.push_back(reason);
        app_.Status.Connected = 0;
    }
    bool CheckStatus() override {
        ++StatusChecks;
        if (Answering.count(Station)) return true;
        app_.Status.LastErrorText = "No response";
        return false;
    }
    bool SetStation(int station) override {
        if (!Answering.count(station)) {
            app_.Status.LastErrorText = "No response";
            return false;
        }
        Station = station;
        return true;
    }
    int ReadRegisters(int address, int count) override {
        return Read(address, count, [&](int k) { regs_.push_back(RegisterBase + address + k); });
    }
    int ReadFlags(int address, int count) override {
        return Read(address, count,
                    [&](int k) { bits_.push_back(static_cast<int16_t>((address + k) % 2)); });
    }
    int ReadInputs(int address, int count) override {
        return Read(address, count,
                    [&](int k) { bits_.push_back(static_cast<int16_t>((address + k + 1) % 2)); });
    }
    int ReadClock(Date& clock) override {
        ++Reads;
        if (ClockValue <= 0) {
            app_.Status.LastErrorText = "Function not supported by the local DLL";
            return 1;
        }
        clock = ClockValue;
        return 0;
    }
    Date ClockValue = 0;
    int32_t RegisterValue(int index) const override { return regs_.at(index); }
    int16_t BitValue(int index) const override { return bits_.at(index); }
    int OpenStation() const override { return Station; }
    bool PguMode() const override { return Pgu; }
    bool ConnectFailed() const override { return Failed; }
    void ClearConnectFailed() override { Failed = false; }
    bool ReconnectPending() const override { return Pending; }

private:
    template <typename F> int Read(int address, int count, F push) {
        ++Reads;
        if (DuringRead) DuringRead();
        regs_.clear();
        bits_.clear();
        if (ReadFails.count(Station) || FailAddresses.count(address)) {
            app_.Status.LastErrorText = ReadFailText;
            return ReadFailCode;
        }
        for (int k = 0; k < count; ++k)
            push(k);
        return 0;
    }

    AppContext& app_;
    std::vector<int32_t> regs_;
    std::vector<int16_t> bits_;
};

class FakeDde : public ReadingObserver {
public:
    bool IsRunning = true;
    std::vector<std::string> Posted;
    void ReadingDone(const ReadingDoneEvent& e) override {
        if (IsRunning) Posted.push_back(e.TaskRecord->LastValues);
    }
};

} // namespace pelkor::testing
