#pragma once
// Every call into a driver library goes through the user interface's
// RunBlocking, so a window stays responsive while a telegram exchange (or a
// station that does not answer) holds the caller for seconds. The program's
// logic stays on its one thread; only the library call itself moves.

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

#include "core/UserInterface.h"
#include "pcd/PelsbusDriver.h"
#include "pcd/Pg5Library.h"

namespace pelkor {

// Runs f() through ui.RunBlocking and hands back its result or exception.
template <class F> auto Blocking(UserInterface& ui, F&& f) {
    using R = decltype(f());
    std::exception_ptr error;
    if constexpr (std::is_void_v<R>) {
        ui.RunBlocking([&] {
            try {
                f();
            } catch (...) {
                error = std::current_exception();
            }
        });
        if (error) std::rethrow_exception(error);
    } else {
        R result{};
        ui.RunBlocking([&] {
            try {
                result = f();
            } catch (...) {
                error = std::current_exception();
            }
        });
        if (error) std::rethrow_exception(error);
        return result;
    }
}

class BlockingPelsbus final : public PelsbusDriver {
public:
    BlockingPelsbus(UserInterface& ui, PelsbusDriver& inner) : ui_(ui), in_(inner) {}
    int32_t PCDSetParameter(int32_t port, int32_t baud, int32_t protocol) override {
        return Blocking(ui_, [&] { return in_.PCDSetParameter(port, baud, protocol); });
    }
    int32_t PCDSetPortName(int32_t port, const char* name) override {
        return Blocking(ui_, [&] { return in_.PCDSetPortName(port, name); });
    }
    int32_t PCDSetStation(int32_t station) override {
        return Blocking(ui_, [&] { return in_.PCDSetStation(station); });
    }
    int32_t PCDOpen() override {
        return Blocking(ui_, [&] { return in_.PCDOpen(); });
    }
    int32_t PCDClose() override {
        return Blocking(ui_, [&] { return in_.PCDClose(); });
    }
    void PCDNoMsg() override {
        Blocking(ui_, [&] { in_.PCDNoMsg(); });
    }
    int32_t PcdRdStatus(int16_t cpu, int32_t* status) override {
        return Blocking(ui_, [&] { return in_.PcdRdStatus(cpu, status); });
    }
    int32_t PCDReadInput(int16_t address, int16_t count, int16_t* values) override {
        return Blocking(ui_, [&] { return in_.PCDReadInput(address, count, values); });
    }
    int32_t PCDReadFlag(int16_t address, int16_t count, int16_t* values) override {
        return Blocking(ui_, [&] { return in_.PCDReadFlag(address, count, values); });
    }
    int32_t PCDReadRegister(int16_t address, int16_t count, int32_t* values) override {
        return Blocking(ui_, [&] { return in_.PCDReadRegister(address, count, values); });
    }
    int32_t PCDWriteRegister(int16_t address, int16_t count, const int32_t* values) override {
        return Blocking(ui_, [&] { return in_.PCDWriteRegister(address, count, values); });
    }
    int32_t PcdRdDBItem(int16_t db, int16_t item, int16_t count, int32_t* values) override {
        return Blocking(ui_, [&] { return in_.PcdRdDBItem(db, item, count, values); });
    }
    int32_t PcdRdDBX(int16_t db, int16_t offset, int16_t count, uint8_t* bytes) override {
        return Blocking(ui_, [&] { return in_.PcdRdDBX(db, offset, count, bytes); });
    }
    // Only looks a name up: no exchange to wait for.
    bool HasReadClock() override { return in_.HasReadClock(); }
    int32_t PCDReadClock(int32_t* clock8) override {
        return Blocking(ui_, [&] { return in_.PCDReadClock(clock8); });
    }

private:
    UserInterface& ui_;
    PelsbusDriver& in_;
};

// The PG5 library the same way; its connection dialog is a window and stays
// on the window's thread.
class BlockingPg5Library final : public Pg5Library {
public:
    BlockingPg5Library(UserInterface& ui, std::unique_ptr<Pg5Library> inner)
        : ui_(ui), in_(std::move(inner)) {}
    int32_t PcdRdChanSetupFromIni(const char* file, const char* section, Pg5ChannelRecord& record,
                                  int16_t& flag) override {
        return Blocking(ui_,
                        [&] { return in_->PcdRdChanSetupFromIni(file, section, record, flag); });
    }
    int32_t PcdWrChanSetupToIni(const char* file, const char* section,
                                Pg5ChannelRecord& record) override {
        return Blocking(ui_, [&] { return in_->PcdWrChanSetupToIni(file, section, record); });
    }
    int32_t PcdConnectionDialog(intptr_t owner, Pg5ChannelRecord& record, int16_t& flag) override {
        return in_->PcdConnectionDialog(owner, record, flag);
    }
    int32_t PcdConnectChannel(int32_t& handle, Pg5ChannelRecord& record, int16_t& flag) override {
        return Blocking(ui_, [&] { return in_->PcdConnectChannel(handle, record, flag); });
    }
    int32_t PcdDisconnectChannel(int32_t handle) override {
        return Blocking(ui_, [&] { return in_->PcdDisconnectChannel(handle); });
    }
    int32_t PcdComClose(int32_t handle) override {
        return Blocking(ui_, [&] { return in_->PcdComClose(handle); });
    }
    int32_t PcdSetStation(int32_t handle, int32_t station) override {
        return Blocking(ui_, [&] { return in_->PcdSetStation(handle, station); });
    }
    int32_t PcdSetStationEx(int32_t handle, int32_t station, const std::string& ip) override {
        return Blocking(ui_, [&] { return in_->PcdSetStationEx(handle, station, ip); });
    }
    int32_t PcdRdStation(int32_t handle, int32_t& station) override {
        return Blocking(ui_, [&] { return in_->PcdRdStation(handle, station); });
    }
    int32_t PcdRdStatus(int32_t handle, int32_t& status) override {
        return Blocking(ui_, [&] { return in_->PcdRdStatus(handle, status); });
    }
    int32_t PcdRdClock(int32_t handle, Pg5ClockRecord& clock) override {
        return Blocking(ui_, [&] { return in_->PcdRdClock(handle, clock); });
    }
    int32_t PcdRdIOF(int32_t handle, char type, int32_t address, int32_t count,
                     uint8_t* bytes) override {
        return Blocking(ui_, [&] { return in_->PcdRdIOF(handle, type, address, count, bytes); });
    }
    int32_t PcdRdRTC(int32_t handle, char type, int32_t address, int32_t count,
                     int32_t* values) override {
        return Blocking(ui_, [&] { return in_->PcdRdRTC(handle, type, address, count, values); });
    }

private:
    UserInterface& ui_;
    std::unique_ptr<Pg5Library> in_;
};

} // namespace pelkor
