#include "pcd/Pg5Library.h"

#include <dlfcn.h>

#include "util/Path.h"

namespace pelkor {

std::string Pg5DllFileName(int version) {
    return version >= 20 ? "ScommDll52.dll" : "ScommDll.dll";
}
std::string Pg5UsrFileName(int version) {
    return version >= 20 ? "ScommUsr52.dll" : "ScommUsr.dll";
}

DlPg5Library::DlPg5Library(std::string folder, int version)
    : folder_(std::move(folder)), version_(version) {}

DlPg5Library::~DlPg5Library() {
    if (dll_) dlclose(dll_);
    if (usr_) dlclose(usr_);
}

void* DlPg5Library::Symbol(bool usr, const char* name) {
    void*& handle = usr ? usr_ : dll_;
    std::string file = usr ? Pg5UsrFileName(version_) : Pg5DllFileName(version_);
    if (!handle) {
        std::string path = JoinPath(folder_, file);
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) throw DriverBindError("File not found: " + file);
    }
    void* fn = dlsym(handle, name);
    if (!fn)
        throw DriverBindError(std::string("Can't find DLL entry point ") + name + " in " + file);
    return fn;
}

#define PG5_FN(type, usr, name) reinterpret_cast<type>(Symbol(usr, name))

int32_t DlPg5Library::PcdRdChanSetupFromIni(const char* file, const char* section,
                                            Pg5ChannelRecord& record, int16_t& flag) {
    return PG5_FN(PcdRdChanSetupFromIniFn, false, "PcdRdChanSetupFromIni")(file, section,
                                                                           record.data(), &flag);
}
int32_t DlPg5Library::PcdWrChanSetupToIni(const char* file, const char* section,
                                          Pg5ChannelRecord& record) {
    return PG5_FN(PcdWrChanSetupToIniFn, false, "PcdWrChanSetupToIni")(file, section,
                                                                       record.data());
}
int32_t DlPg5Library::PcdConnectionDialog(intptr_t owner, Pg5ChannelRecord& record, int16_t& flag) {
    return PG5_FN(PcdConnectionDialogFn, true, "PcdConnectionDialog")(owner, record.data(), &flag);
}
int32_t DlPg5Library::PcdConnectChannel(int32_t& handle, Pg5ChannelRecord& record, int16_t& flag) {
    return PG5_FN(PcdConnectChannelFn, false, "PcdConnectChannel")(&handle, record.data(), &flag, 0,
                                                                   0);
}
int32_t DlPg5Library::PcdDisconnectChannel(int32_t handle) {
    return PG5_FN(PcdDisconnectChannelFn, false, "PcdDisconnectChannel")(handle, 0, 0);
}
int32_t DlPg5Library::PcdComClose(int32_t handle) {
    return PG5_FN(PcdComCloseFn, false, "PcdComClose")(handle, 0, 0);
}
int32_t DlPg5Library::PcdSetStation(int32_t handle, int32_t station) {
    return PG5_FN(PcdSetStationFn, false, "PcdSetStation")(handle, station);
}
int32_t DlPg5Library::PcdSetStationEx(int32_t handle, int32_t station, const std::string& ip) {
    return PG5_FN(PcdSetStationExFn, false, "PcdSetStationEx")(handle, station, ip.c_str());
}
int32_t DlPg5Library::PcdRdStation(int32_t handle, int32_t& station) {
    return PG5_FN(PcdRdStationFn, false, "PcdRdStation")(handle, &station);
}
int32_t DlPg5Library::PcdRdStatus(int32_t handle, int32_t& status) {
    return PG5_FN(Pg5RdStatusFn, false, "PcdRdStatus")(handle, 0, &status);
}
int32_t DlPg5Library::PcdRdClock(int32_t handle, Pg5ClockRecord& clock) {
    return PG5_FN(PcdRdClockFn, false, "PcdRdClock")(handle, &clock);
}
int32_t DlPg5Library::PcdRdIOF(int32_t handle, char type, int32_t address, int32_t count,
                               uint8_t* bytes) {
    return PG5_FN(PcdRdIOFFn, false, "PcdRdIOF")(handle, static_cast<unsigned char>(type), address,
                                                 count, bytes);
}
int32_t DlPg5Library::PcdRdRTC(int32_t handle, char type, int32_t address, int32_t count,
                               int32_t* values) {
    return PG5_FN(PcdRdRTCFn, false, "PcdRdRTC")(handle, static_cast<unsigned char>(type), address,
                                                 count, values);
}

#undef PG5_FN

} // namespace pelkor
