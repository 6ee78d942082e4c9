#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "pcd/PelsbusDriver.h"
#include "util/Path.h"

namespace pelkor {

extern "C" {
using SetParameterFn = int32_t (*)(int32_t, int32_t, int32_t);
using VoidCodeFn = int32_t (*)();
using StationFn = int32_t (*)(int32_t);
using NoMsgFn = void (*)();
using RdStatusFn = int32_t (*)(int16_t, int32_t*);
using BitsFn = int32_t (*)(int16_t, int16_t, int16_t*);
using ValuesFn = int32_t (*)(int16_t, int16_t, int32_t*);
using WriteValuesFn = int32_t (*)(int16_t, int16_t, const int32_t*);
using DbItemFn = int32_t (*)(int16_t, int16_t, int16_t, int32_t*);
using DbxFn = int32_t (*)(int16_t, int16_t, int16_t, uint8_t*);
using PortNameFn = int32_t (*)(int32_t, const char*);
using ClockFn = int32_t (*)(int32_t*);
}

// Each export is looked up when first needed, so a library lacking one that
// is never called still serves the others.
struct DlPelsbus::Exports {
    void* fn[14] = {};
};

namespace {

enum Export {
    kSetParameter,
    kSetStation,
    kOpen,
    kClose,
    kNoMsg,
    kRdStatus,
    kReadInput,
    kReadFlag,
    kReadRegister,
    kWriteRegister,
    kRdDBItem,
    kRdDBX,
    kSetPortName,
    kReadClock
};
constexpr const char* ExportNames[14] = {
    "PCDSetParameter", "PCDSetStation", "PCDOpen",        "PCDClose",        "PCDNoMsg",
    "PcdRdStatus",     "PCDReadInput",  "PCDReadFlag",    "PCDReadRegister", "PCDWriteRegister",
    "PcdRdDBItem",     "PcdRdDBX",      "PCDSetPortName", "PCDReadClock",
};

} // namespace

DlPelsbus::DlPelsbus(std::vector<std::string> folders, std::string fileName)
    : folders_(std::move(folders)), fileName_(std::move(fileName)), fn_(new Exports) {}

DlPelsbus::~DlPelsbus() {
    if (handle_) dlclose(handle_);
    delete fn_;
}

bool DlPelsbus::Bind(std::string& error) {
    if (handle_) return true;
    for (const auto& folder : folders_) {
        if (folder.empty()) continue;
        std::string path = JoinPath(folder, fileName_);
        if (access(path.c_str(), F_OK) != 0) continue;
        if ((handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))) {
            loadedFrom_ = path;
            return true;
        }
    }
    if ((handle_ = dlopen(fileName_.c_str(), RTLD_NOW | RTLD_LOCAL))) {
        loadedFrom_ = fileName_;
        return true;
    }
    const char* why = dlerror();
    error = "File not found: " + fileName_ + (why ? std::string(" (") + why + ")" : std::string());
    return false;
}

void DlPelsbus::Require() {
    std::string error;
    if (!Bind(error)) throw DriverBindError(error);
}

namespace {
template <typename Fn> Fn Lookup(void* handle, void*& slot, Export e, const std::string& file) {
    if (!slot) {
        slot = dlsym(handle, ExportNames[e]);
        if (!slot)
            throw DriverBindError(std::string("Can't find DLL entry point ") + ExportNames[e] +
                                  " in " + file);
    }
    return reinterpret_cast<Fn>(slot);
}
} // namespace

#define PELSBUS_FN(type, e) (Require(), Lookup<type>(handle_, fn_->fn[e], e, fileName_))

int32_t DlPelsbus::PCDSetParameter(int32_t port, int32_t baud, int32_t protocol) {
    return PELSBUS_FN(SetParameterFn, kSetParameter)(port, baud, protocol);
}
int32_t DlPelsbus::PCDSetPortName(int32_t port, const char* name) {
    return PELSBUS_FN(PortNameFn, kSetPortName)(port, name);
}
int32_t DlPelsbus::PCDSetStation(int32_t station) {
    return PELSBUS_FN(StationFn, kSetStation)(station);
}
int32_t DlPelsbus::PCDOpen() {
    return PELSBUS_FN(VoidCodeFn, kOpen)();
}
int32_t DlPelsbus::PCDClose() {
    return PELSBUS_FN(VoidCodeFn, kClose)();
}
void DlPelsbus::PCDNoMsg() {
    PELSBUS_FN(NoMsgFn, kNoMsg)();
}
int32_t DlPelsbus::PcdRdStatus(int16_t cpu, int32_t* status) {
    return PELSBUS_FN(RdStatusFn, kRdStatus)(cpu, status);
}
int32_t DlPelsbus::PCDReadInput(int16_t address, int16_t count, int16_t* values) {
    return PELSBUS_FN(BitsFn, kReadInput)(address, count, values);
}
int32_t DlPelsbus::PCDReadFlag(int16_t address, int16_t count, int16_t* values) {
    return PELSBUS_FN(BitsFn, kReadFlag)(address, count, values);
}
int32_t DlPelsbus::PCDReadRegister(int16_t address, int16_t count, int32_t* values) {
    return PELSBUS_FN(ValuesFn, kReadRegister)(address, count, values);
}
int32_t DlPelsbus::PCDWriteRegister(int16_t address, int16_t count, const int32_t* values) {
    return PELSBUS_FN(WriteValuesFn, kWriteRegister)(address, count, values);
}
int32_t DlPelsbus::PcdRdDBItem(int16_t db, int16_t item, int16_t count, int32_t* values) {
    return PELSBUS_FN(DbItemFn, kRdDBItem)(db, item, count, values);
}
int32_t DlPelsbus::PcdRdDBX(int16_t db, int16_t offset, int16_t count, uint8_t* bytes) {
    return PELSBUS_FN(DbxFn, kRdDBX)(db, offset, count, bytes);
}

bool DlPelsbus::HasReadClock() {
    std::string error;
    if (!Bind(error)) return false;
    if (!fn_->fn[kReadClock]) fn_->fn[kReadClock] = dlsym(handle_, ExportNames[kReadClock]);
    return fn_->fn[kReadClock] != nullptr;
}
int32_t DlPelsbus::PCDReadClock(int32_t* clock8) {
    return PELSBUS_FN(ClockFn, kReadClock)(clock8);
}

#undef PELSBUS_FN

} // namespace pelkor
