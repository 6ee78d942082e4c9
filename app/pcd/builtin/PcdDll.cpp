// Wrappers over the built-in S-Bus library. Each leaves its code in
// PcdResultCode and, for a failure, the code's text in LastErrorText.
// Binding errors propagate to the connection manager's routines.

#include <algorithm>

#include "pcd/PcdConnection.h"
#include "pcd/ResultTexts.h"
#include "util/DateTime.h"

namespace pelkor {

namespace {
int32_t Shifted(int32_t code) {
    return code > 0 ? code + DataCodeShift : code;
}

template <typename T> void EnsureSize(std::vector<T>& v, std::size_t n) {
    if (v.size() < n) v.resize(n);
}
} // namespace

int32_t PcdConnection::OpenPcdDll(int16_t port, int16_t station, int32_t baud, int16_t protocol) {
    sbus_.PCDClose();
    resultCode_ = sbus_.PCDSetParameter(port, baud, protocol);
    if (resultCode_ > 0) {
        PcdDllErrorText(app_.Status, resultCode_);
        return resultCode_;
    }
    sbus_.PCDNoMsg();
    // Only makes sure the port is open; a port that cannot be opened shows
    // up at the first read as "COM Closed".
    resultCode_ = sbus_.PCDOpen();
    sbus_.PCDSetStation(station);
    resultCode_ = 0;
    return 0;
}

int32_t PcdConnection::TestPcdDllStation(int16_t station) {
    sbus_.PCDSetStation(station);
    int32_t status = 0;
    int32_t code = sbus_.PcdRdStatus(0, &status);
    resultCode_ = Shifted(code);
    // A negative code is a port that failed, not a station that answered.
    if (code != 0) {
        PcdDllErrorText(app_.Status, resultCode_);
        sbus_.PCDSetStation(connectionStation_);
        return 1;
    }
    return 0;
}

int32_t PcdConnection::ReadPcdDllStatus(int16_t cpu, int32_t& status) {
    resultCode_ = sbus_.PCDOpen();
    int32_t code = sbus_.PcdRdStatus(cpu, &status);
    if (code != 0) {
        resultCode_ = code < 0 ? FailedPortCode : code + DataCodeShift;
        PcdDllErrorText(app_.Status, resultCode_);
        return resultCode_;
    }
    resultCode_ = 0;
    return 0;
}

int32_t PcdConnection::ReadPcdDllFlags(int16_t address, int16_t count, int16_t firstIndex) {
    EnsureSize(bitValues_,
               static_cast<std::size_t>(std::max<int>(firstIndex, 0) + std::max<int>(count, 0)));
    resultCode_ = sbus_.PCDOpen();
    resultCode_ = Shifted(
        sbus_.PCDReadFlag(address, count, bitValues_.data() + std::max<int>(firstIndex, 0)));
    if (resultCode_ != 0) PcdDllErrorText(app_.Status, resultCode_);
    return resultCode_;
}

int32_t PcdConnection::ReadPcdDllInputs(int16_t address, int16_t count, int16_t firstIndex) {
    EnsureSize(bitValues_,
               static_cast<std::size_t>(std::max<int>(firstIndex, 0) + std::max<int>(count, 0)));
    resultCode_ = sbus_.PCDOpen();
    resultCode_ = Shifted(
        sbus_.PCDReadInput(address, count, bitValues_.data() + std::max<int>(firstIndex, 0)));
    if (resultCode_ != 0) PcdDllErrorText(app_.Status, resultCode_);
    return resultCode_;
}

int32_t PcdConnection::ReadPcdDllRegisters(int16_t address, int16_t count, int16_t firstIndex) {
    EnsureSize(registerValues_,
               static_cast<std::size_t>(std::max<int>(firstIndex, 0) + std::max<int>(count, 0)));
    resultCode_ = sbus_.PCDOpen();
    resultCode_ = Shifted(sbus_.PCDReadRegister(
        address, count, registerValues_.data() + std::max<int>(firstIndex, 0)));
    if (resultCode_ != 0) PcdDllErrorText(app_.Status, resultCode_);
    return resultCode_;
}

int32_t PcdConnection::ReadPcdDllClock() {
    int32_t clock[8] = {};
    resultCode_ = sbus_.PCDOpen();
    resultCode_ = Shifted(sbus_.PCDReadClock(clock));
    if (resultCode_ > 0)
        PcdDllErrorText(app_.Status, resultCode_);
    else if (resultCode_ == 0)
        pcdClock_ = DateFromParts(clock[2], clock[3], clock[4], clock[5], clock[6], clock[7]);
    return resultCode_;
}

bool PcdConnection::ClosePcdDll() {
    resultCode_ = sbus_.PCDClose();
    if (resultCode_ > 0) PcdDllErrorText(app_.Status, resultCode_);
    return resultCode_ <= 0;
}

} // namespace pelkor
