#include "pcd/pg5/Pg5Driver.h"

#include "pcd/PcdConnection.h"

namespace pelkor {

bool Pg5Driver::PrepareConnect(int, int32_t) {
    return c_.app_.Settings.DLL <= 0 || c_.ReadPg5ChannelFile();
}

int32_t Pg5Driver::Connect(int16_t, int32_t) {
    return c_.ConnectPg5();
}

void Pg5Driver::StationFailed(int32_t code) {
    // A channel opened for a PCD that then failed its status check would
    // hold the port and refuse every later connect.
    if (code <= 0 && c_.pg5Ready_) c_.ClosePg5();
}

int16_t Pg5Driver::ConnectedStation() const {
    return c_.pg5Station_;
}
int32_t Pg5Driver::SetStation(int16_t station) {
    return c_.SetPg5Station(station);
}
bool Pg5Driver::MoveTo(int16_t station, const std::string& ip) {
    return c_.SetPg5StationEx(station, ip) < 1;
}
int32_t Pg5Driver::ReadStatus(int32_t& status) {
    return c_.ReadPg5Status(status);
}

int32_t Pg5Driver::ReadBits(char letter, int16_t address, int16_t count) {
    return c_.ReadPg5Bits(letter, address, count, 0);
}

int32_t Pg5Driver::ReadRegisters(int16_t address, int16_t count, int16_t firstIndex) {
    return c_.ReadPg5Registers(address, count, firstIndex);
}

int32_t Pg5Driver::ReadClock() {
    return c_.ReadPg5Clock();
}
void Pg5Driver::Close() {
    c_.ClosePg5();
}

} // namespace pelkor
