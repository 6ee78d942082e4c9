#pragma once
// PG5's communication library as the program calls it: the functions of
// "ScommDll" (and the dialog of "ScommUsr"), bound by name from the PG5
// program folder. Strings are 8-bit; every function returns a 32-bit code,
// 0 meaning success. The channel record is the library's own: the program
// only hands it back and forth.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "pcd/PelsbusDriver.h" // DriverBindError

namespace pelkor {

// Room for the library's channel setup record; the program never looks inside.
inline constexpr std::size_t Pg5ChannelRecordSize = 2048;
using Pg5ChannelRecord = std::array<unsigned char, Pg5ChannelRecordSize>;

// Clock record of PcdRdClock: two words, then year, month, day, hour,
// minute, second.
struct Pg5ClockRecord {
    int16_t Word1 = 0, Word2 = 0;
    int16_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// Signatures of the bound functions, C calling convention.
extern "C" {
using PcdRdChanSetupFromIniFn = int32_t (*)(const char* file, const char* section, void* record,
                                            int16_t* flag);
using PcdWrChanSetupToIniFn = int32_t (*)(const char* file, const char* section, void* record);
using PcdConnectionDialogFn = int32_t (*)(intptr_t owner, void* record, int16_t* flag);
using PcdConnectChannelFn = int32_t (*)(int32_t* handle, void* record, int16_t* flag, int32_t,
                                        int32_t);
using PcdDisconnectChannelFn = int32_t (*)(int32_t handle, int32_t, int32_t);
using PcdComCloseFn = int32_t (*)(int32_t handle, int32_t, int32_t);
using PcdSetStationFn = int32_t (*)(int32_t handle, int32_t station);
using PcdSetStationExFn = int32_t (*)(int32_t handle, int32_t station, const char* ip);
using PcdRdStationFn = int32_t (*)(int32_t handle, int32_t* station);
using Pg5RdStatusFn = int32_t (*)(int32_t handle, int32_t cpu, int32_t* status);
using PcdRdClockFn = int32_t (*)(int32_t handle, Pg5ClockRecord* clock);
using PcdRdIOFFn = int32_t (*)(int32_t handle, int32_t type, int32_t address, int32_t count,
                               uint8_t* bytes);
using PcdRdRTCFn = int32_t (*)(int32_t handle, int32_t type, int32_t address, int32_t count,
                               int32_t* values);
using Pg5RdDBItemFn = int32_t (*)(int32_t handle, int32_t db, int32_t item, int32_t count,
                                  int32_t* values);
}

class Pg5Library {
public:
    virtual ~Pg5Library() = default;
    // file null: PG5's own default settings.
    virtual int32_t PcdRdChanSetupFromIni(const char* file, const char* section,
                                          Pg5ChannelRecord& record, int16_t& flag) = 0;
    virtual int32_t PcdWrChanSetupToIni(const char* file, const char* section,
                                        Pg5ChannelRecord& record) = 0;
    virtual int32_t PcdConnectionDialog(intptr_t owner, Pg5ChannelRecord& record,
                                        int16_t& flag) = 0;
    virtual int32_t PcdConnectChannel(int32_t& handle, Pg5ChannelRecord& record, int16_t& flag) = 0;
    virtual int32_t PcdDisconnectChannel(int32_t handle) = 0;
    virtual int32_t PcdComClose(int32_t handle) = 0;
    virtual int32_t PcdSetStation(int32_t handle, int32_t station) = 0;
    virtual int32_t PcdSetStationEx(int32_t handle, int32_t station, const std::string& ip) = 0;
    virtual int32_t PcdRdStation(int32_t handle, int32_t& station) = 0;
    virtual int32_t PcdRdStatus(int32_t handle, int32_t& status) = 0;
    virtual int32_t PcdRdClock(int32_t handle, Pg5ClockRecord& clock) = 0;
    virtual int32_t PcdRdIOF(int32_t handle, char type, int32_t address, int32_t count,
                             uint8_t* bytes) = 0;
    virtual int32_t PcdRdRTC(int32_t handle, char type, int32_t address, int32_t count,
                             int32_t* values) = 0;
};

// The library file names of a PG5 version (below 20 / 20).
std::string Pg5DllFileName(int version); // "ScommDll.dll" / "ScommDll52.dll"
std::string Pg5UsrFileName(int version); // "ScommUsr.dll" / "ScommUsr52.dll"

// Binds both files from `folder` on first use; a missing file or function
// throws DriverBindError from the call that needed it.
class DlPg5Library final : public Pg5Library {
public:
    DlPg5Library(std::string folder, int version);
    ~DlPg5Library() override;
    DlPg5Library(const DlPg5Library&) = delete;
    DlPg5Library& operator=(const DlPg5Library&) = delete;

    int32_t PcdRdChanSetupFromIni(const char* file, const char* section, Pg5ChannelRecord& record,
                                  int16_t& flag) override;
    int32_t PcdWrChanSetupToIni(const char* file, const char* section,
                                Pg5ChannelRecord& record) override;
    int32_t PcdConnectionDialog(intptr_t owner, Pg5ChannelRecord& record, int16_t& flag) override;
    int32_t PcdConnectChannel(int32_t& handle, Pg5ChannelRecord& record, int16_t& flag) override;
    int32_t PcdDisconnectChannel(int32_t handle) override;
    int32_t PcdComClose(int32_t handle) override;
    int32_t PcdSetStation(int32_t handle, int32_t station) override;
    int32_t PcdSetStationEx(int32_t handle, int32_t station, const std::string& ip) override;
    int32_t PcdRdStation(int32_t handle, int32_t& station) override;
    int32_t PcdRdStatus(int32_t handle, int32_t& status) override;
    int32_t PcdRdClock(int32_t handle, Pg5ClockRecord& clock) override;
    int32_t PcdRdIOF(int32_t handle, char type, int32_t address, int32_t count,
                     uint8_t* bytes) override;
    int32_t PcdRdRTC(int32_t handle, char type, int32_t address, int32_t count,
                     int32_t* values) override;

private:
    void* Symbol(bool usr, const char* name);
    std::string folder_;
    int version_;
    void* dll_ = nullptr;
    void* usr_ = nullptr;
};

} // namespace pelkor
