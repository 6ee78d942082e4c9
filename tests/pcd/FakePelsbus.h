#pragma once
// A scripted built-in library: stations that answer or not, with a status
// and memory, a port that can be closed under the program, and a record of
// every call in order.

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pcd/PelsbusDriver.h"

namespace pelkor::test {

struct FakeStation {
    bool answers = true;
    int32_t status = 2;   // R
    int32_t readCode = 0; // code of every data read (0: values delivered)
    std::map<int, int16_t> bits;
    std::map<int, int32_t> registers;
    int32_t clock[8] = {}; // as PCDReadClock hands it out
};

class FakePelsbus : public PelsbusDriver {
public:
    std::map<int, FakeStation> stations;
    std::vector<std::string> calls;
    int32_t setParameterCode = 0;
    bool portOpen = false;
    bool openRefused = false; // the port cannot be opened
    bool unbound = false;     // every call is a binding failure
    bool hasClock = false;    // the library exports PCDReadClock
    int32_t station = 0;
    std::string portName;                 // the last PCDSetPortName
    std::map<std::string, bool> portDown; // names whose PCD never answers
    // Runs at the start of every call, with its name (for re-entry).
    std::function<void(const std::string&)> onCall;

    void Clear() { calls.clear(); }
    bool Called(const std::string& prefix) const {
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }
    std::size_t Count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& c : calls)
            n += c.rfind(prefix, 0) == 0;
        return n;
    }

    int32_t PCDSetParameter(int32_t port, int32_t baud, int32_t protocol) override {
        Enter("SetParameter " + std::to_string(port) + " " + std::to_string(baud) + " " +
              std::to_string(protocol));
        if (setParameterCode == 0) parametersSet_ = true;
        return setParameterCode;
    }
    int32_t PCDSetPortName(int32_t port, const char* name) override {
        Enter("SetPortName " + std::to_string(port) + " " + (name ? name : "(null)"));
        portName = name ? name : "";
        return port >= 1 && port <= 8 ? 0 : 10;
    }
    int32_t PCDSetStation(int32_t s) override {
        Enter("SetStation " + std::to_string(s));
        station = s;
        return 0;
    }
    int32_t PCDOpen() override {
        Enter("Open");
        if (!parametersSet_) return 35;
        if (portOpen) return 9;
        if (openRefused) return 9;
        portOpen = true;
        return 0;
    }
    int32_t PCDClose() override {
        Enter("Close");
        portOpen = false;
        return 0;
    }
    void PCDNoMsg() override { Enter("NoMsg"); }
    int32_t PcdRdStatus(int16_t, int32_t* status) override {
        Enter("RdStatus " + std::to_string(station));
        if (!portOpen) return -1;
        auto* st = Answering();
        if (!st) return 6;
        *status = st->status;
        return 0;
    }
    int32_t PCDReadInput(int16_t address, int16_t count, int16_t* values) override {
        return ReadBits("ReadInput", address, count, values);
    }
    int32_t PCDReadFlag(int16_t address, int16_t count, int16_t* values) override {
        return ReadBits("ReadFlag", address, count, values);
    }
    int32_t PCDReadRegister(int16_t address, int16_t count, int32_t* values) override {
        Enter("ReadRegister " + std::to_string(address) + " " + std::to_string(count));
        if (address < 0 || address > 4095 || count > 4096 - address) return 10;
        if (!portOpen) return 35;
        auto* st = Answering();
        if (!st) return 6;
        if (st->readCode) return st->readCode;
        for (int i = 0; i < count; ++i)
            values[i] = st->registers[address + i];
        return 0;
    }
    int32_t PCDWriteRegister(int16_t, int16_t, const int32_t*) override {
        return Enter("WriteRegister"), 0;
    }
    int32_t PcdRdDBItem(int16_t, int16_t, int16_t, int32_t*) override {
        return Enter("RdDBItem"), 0;
    }
    int32_t PcdRdDBX(int16_t, int16_t, int16_t, uint8_t*) override { return Enter("RdDBX"), 0; }
    bool HasReadClock() override { return hasClock; }
    int32_t PCDReadClock(int32_t* clock8) override {
        Enter("ReadClock");
        if (!portOpen) return 35;
        auto* st = Answering();
        if (!st) return 6;
        if (st->readCode) return st->readCode;
        std::copy_n(st->clock, 8, clock8);
        return 0;
    }

private:
    void Enter(const std::string& call) {
        if (unbound) throw DriverBindError("File not found: libPelsbus.so");
        calls.push_back(call);
        if (onCall) onCall(call);
    }
    FakeStation* Answering() {
        auto it = stations.find(station);
        if (portDown.count(portName) && portDown[portName]) return nullptr;
        return it == stations.end() || !it->second.answers ? nullptr : &it->second;
    }
    int32_t ReadBits(const std::string& name, int16_t address, int16_t count, int16_t* values) {
        Enter(name + " " + std::to_string(address) + " " + std::to_string(count));
        if (address < 0 || address > 8191 || count > 8192 - address) return 10;
        if (!portOpen) return 35;
        auto* st = Answering();
        if (!st) return 6;
        if (st->readCode) return st->readCode;
        for (int i = 0; i < count; ++i)
            values[i] = st->bits[address + i];
        return 0;
    }
    bool parametersSet_ = false;
};

} // namespace pelkor::test
