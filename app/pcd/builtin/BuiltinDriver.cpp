#include "pcd/builtin/BuiltinDriver.h"

#include "pcd/PcdConnection.h"
#include "util/SerialDevices.h"

namespace pelkor {

bool BuiltinDriver::PrepareConnect(int task, int32_t baud) {
    c_.ipChannel_ = UdpChannel();
    c_.sbusChannel_ = c_.pguMode_ = false;
    c_.dllIp_ = c_.ipChannel_ ? c_.TaskAddress(task) : std::string();
    c_.NamePcdDllPort(c_.ipChannel_ ? c_.UdpPortName(c_.dllIp_) : c_.app_.Settings.Port);
    if (!c_.ipChannel_) c_.NoteUnofferedBaudrate(baud);
    return true;
}

int32_t BuiltinDriver::Connect(int16_t station, int32_t baud) {
    return c_.OpenPcdDll(c_.app_.Settings.COM, station, baud, 1);
}

std::string BuiltinDriver::FailureHint() {
    const std::string device = ChannelDevice(
        c_.ipChannel_ ? c_.UdpPortName(c_.dllIp_) : c_.app_.Settings.Port, c_.app_.Settings.COM);
    std::string hint;
    // A host look-up may wait on the name service: off the window's thread.
    c_.app_.Ui.RunBlocking([&] { hint = SerialAccessHint(device); });
    return hint;
}

int16_t BuiltinDriver::ConnectedStation() const {
    return c_.connectionStation_;
}
int32_t BuiltinDriver::SetStation(int16_t station) {
    return c_.TestPcdDllStation(station);
}
bool BuiltinDriver::MoveTo(int16_t station, const std::string& ip) {
    return c_.MovePcdDll(station, ip);
}
bool BuiltinDriver::UdpChannel() const {
    return c_.PortIsUdp();
}
int32_t BuiltinDriver::ReadStatus(int32_t& status) {
    return c_.ReadPcdDllStatus(c_.cpu_, status);
}

int32_t BuiltinDriver::ReadBits(char letter, int16_t address, int16_t count) {
    return letter == 'F' ? c_.ReadPcdDllFlags(address, count, 0)
                         : c_.ReadPcdDllInputs(address, count, 0);
}

int32_t BuiltinDriver::ReadRegisters(int16_t address, int16_t count, int16_t firstIndex) {
    return c_.ReadPcdDllRegisters(address, count, firstIndex);
}

bool BuiltinDriver::CanReadClock() const {
    return c_.sbus_.HasReadClock();
}
int32_t BuiltinDriver::ReadClock() {
    return c_.ReadPcdDllClock();
}
void BuiltinDriver::Close() {
    c_.ClosePcdDll();
}

} // namespace pelkor
