#pragma once
// The program side of the built-in S-Bus library: the exports the connection
// layer binds, behind an interface so the state machine can be driven by a
// scripted driver in tests.
//
// DlPelsbus binds the library by name with dlopen on the first call (the
// program's folder first, then the system search path) and keeps it loaded
// for the life of the object. A missing file or export throws
// DriverBindError from the call that needed it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/AppFolders.h"

namespace pelkor {

// A driver library or one of its exports could not be bound.
class DriverBindError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The exports the program binds (names as exported).
class PelsbusDriver {
public:
    virtual ~PelsbusDriver() = default;
    virtual int32_t PCDSetParameter(int32_t port, int32_t baud, int32_t protocol) = 0;
    virtual int32_t PCDSetPortName(int32_t port, const char* name) = 0;
    virtual int32_t PCDSetStation(int32_t station) = 0;
    virtual int32_t PCDOpen() = 0;
    virtual int32_t PCDClose() = 0;
    virtual void PCDNoMsg() = 0;
    virtual int32_t PcdRdStatus(int16_t cpu, int32_t* status) = 0;
    virtual int32_t PCDReadInput(int16_t address, int16_t count, int16_t* values) = 0;
    virtual int32_t PCDReadFlag(int16_t address, int16_t count, int16_t* values) = 0;
    virtual int32_t PCDReadRegister(int16_t address, int16_t count, int32_t* values) = 0;
    virtual int32_t PCDWriteRegister(int16_t address, int16_t count, const int32_t* values) = 0;
    virtual int32_t PcdRdDBItem(int16_t db, int16_t item, int16_t count, int32_t* values) = 0;
    virtual int32_t PcdRdDBX(int16_t db, int16_t offset, int16_t count, uint8_t* bytes) = 0;
    // The clock read came later: a library without it has no PCDReadClock,
    // and a driver that does not say otherwise is such a library.
    virtual bool HasReadClock() { return false; }
    virtual int32_t PCDReadClock(int32_t* clock8) {
        (void)clock8;
        return -1;
    }
};

// The library file the program binds: its SONAME, so the program needs the
// runtime package only (libPelsbus.so is the development link).
inline constexpr const char* PelsbusLibraryName = "libPelsbus.so.1";

class DlPelsbus final : public PelsbusDriver {
public:
    // folders: where to look for the file, in order, before the system
    // search path (typically ShippedLibraryFolders(ExecutableFolder())).
    explicit DlPelsbus(std::vector<std::string> folders, std::string fileName = PelsbusLibraryName);
    ~DlPelsbus() override;
    DlPelsbus(const DlPelsbus&) = delete;
    DlPelsbus& operator=(const DlPelsbus&) = delete;

    // Binds now; false with the reason in `error` when it cannot.
    bool Bind(std::string& error);
    bool Bound() const { return handle_ != nullptr; }
    // The file actually loaded (empty until bound).
    const std::string& LoadedFrom() const { return loadedFrom_; }

    int32_t PCDSetParameter(int32_t port, int32_t baud, int32_t protocol) override;
    int32_t PCDSetPortName(int32_t port, const char* name) override;
    int32_t PCDSetStation(int32_t station) override;
    int32_t PCDOpen() override;
    int32_t PCDClose() override;
    void PCDNoMsg() override;
    int32_t PcdRdStatus(int16_t cpu, int32_t* status) override;
    int32_t PCDReadInput(int16_t address, int16_t count, int16_t* values) override;
    int32_t PCDReadFlag(int16_t address, int16_t count, int16_t* values) override;
    int32_t PCDReadRegister(int16_t address, int16_t count, int32_t* values) override;
    int32_t PCDWriteRegister(int16_t address, int16_t count, const int32_t* values) override;
    int32_t PcdRdDBItem(int16_t db, int16_t item, int16_t count, int32_t* values) override;
    int32_t PcdRdDBX(int16_t db, int16_t offset, int16_t count, uint8_t* bytes) override;
    // False (no throw) for a library without the export, or none at all.
    bool HasReadClock() override;
    int32_t PCDReadClock(int32_t* clock8) override;

private:
    struct Exports;
    void Require(); // binds or throws DriverBindError
    std::vector<std::string> folders_;
    std::string fileName_;
    std::string loadedFrom_;
    void* handle_ = nullptr;
    Exports* fn_ = nullptr;
};

} // namespace pelkor
