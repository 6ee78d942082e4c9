#pragma once
// The connection manager: the one doorway from the program to a PCD. It keeps
// the connection state, the station lists and every message of a connect,
// a station change or a loss, and leaves what differs between the built-in
// S-Bus library and PG5's library to a PcdDriver (builtin/, pg5/), chosen
// from RunStatus::PG5Available in Driver(). The readings go through it so
// that a failing read can end the connection the same way from every caller.
// Wiring: app.Pg5 = &connection; ReadSAIARegistery() before the PG5 version
// is chosen; SearchAllStation(task) before the task's first connect.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "core/Pg5Services.h"
#include "pcd/ConnectionEvents.h"
#include "pcd/PcdDriver.h"
#include "pcd/PelsbusDriver.h"
#include "pcd/Pg5Library.h"
#include "pcd/ResultTexts.h"

namespace pelkor {

// Codes of the manager's own limits.
inline constexpr int32_t BitRangeError = 1001;
inline constexpr int32_t RegisterRangeError = 1002;
// A built-in library data call on a port that is not open ("COM Closed").
inline constexpr int32_t PortClosedCode = DataCodeShift + 35;
inline constexpr int FirstPg5Version = 13;
inline constexpr int LastPg5Version = 20;
using Pg5LibraryFactory =
    std::function<std::unique_ptr<Pg5Library>(const std::string& appsDir, int version)>;
// The connection dialog (owner window, record, flag) -> PG5 code.
using Pg5DialogCall = std::function<int32_t(intptr_t owner, Pg5ChannelRecord&, int16_t&)>;

class PcdConnection : public Pg5Services {
public:
    // pg5Factory empty: DlPg5Library from the version's AppsDir.
    PcdConnection(AppContext& app, PelsbusDriver& sbus, Pg5LibraryFactory pg5Factory = {});
    ~PcdConnection() override;
    PcdConnection(const PcdConnection&) = delete;
    PcdConnection& operator=(const PcdConnection&) = delete;

    // The driver of the current channel, the one place that tells them apart.
    PcdDriver& Driver() const;
    // Who hears of connects and losses (null: nobody).
    void SetEvents(ConnectionEvents* events);

    // --- connection manager ---
    bool OpenPcdConnection(bool force);
    void SearchAllStation(int task, int16_t station);
    bool SetPcdStation(int16_t station);
    bool SetPcdIpStation(int16_t station, const std::string& ip);
    // The built-in library over UDP ("Port" = "udp:HOST[:PORT]") is an IP
    // channel: a task with its own settings (Settings 0) and an IPAddress is
    // read from that address (HOST[:PORT], the port defaulting to the
    // channel's), every other task from the channel's own address.
    bool BuiltInIpChannel() const;
    // One log line when the serial rate is one the built-in library lacks
    // (its connect then fails with the library's "bad parameter").
    void NoteUnofferedBaudrate(int32_t baud);
    std::string TaskAddress(int task) const;
    // Before a read of `task`: moves the channel to the task's address when
    // it is not the addressed one (SetPcdIpStation). 0 nothing to do, 1
    // moved and the station answered, -1 the move failed.
    int MoveToTaskAddress(int task, int16_t station);
    bool CheckPcdStatus();
    void ClosePcdConnection(const std::string& message);
    void DisconnectOnPCD(int16_t reason, int32_t code);

    int32_t ReadPcdFlags(int16_t address, int16_t count);
    int32_t ReadPcdInputs(int16_t address, int16_t count);
    int32_t ReadPcdRegisters(int16_t address, int16_t count, int16_t firstIndex = 0);
    int32_t ReadPcdClock();

    int32_t PcdResultCode() const { return resultCode_; }
    const std::vector<int16_t>& PcdBitValues() const { return bitValues_; }
    const std::vector<int32_t>& PcdRegisterValues() const { return registerValues_; }
    // The PCD clock of the last clock read.
    Date PcdClock() const { return pcdClock_; }

    bool Connecting() const { return connecting_; }
    bool HoldOff() const { return holdOff_; }
    bool ReconnectPending() const { return reconnectPending_; }
    bool ConnectFailed() const { return connectFailed_; }
    // A reading clears the mark before it starts; a failing connect or
    // station change during the reading sets it again.
    void ClearConnectFailed() { connectFailed_ = false; }
    int16_t LastStatus() const { return lastStatus_; }
    int16_t ConnectionStation() const { return connectionStation_; }
    int16_t AddressedStation() const { return addressedStation_; }
    const std::string& AddressedIp() const { return addressedIp_; }
    // The current station (the start-file reader and DefaultParameters set it).
    void SetCurrentStation(int16_t station) { addressedStation_ = station; }
    // Distinct stations of a task's resource list, in order of first use.
    const std::vector<int16_t>& StationList(int task) const;
    bool IpChannel() const { return ipChannel_; }
    bool SbusChannel() const { return sbusChannel_; }
    bool PguMode() const { return pguMode_; }

    // --- built-in library wrappers ---
    int32_t OpenPcdDll(int16_t port, int16_t station, int32_t baud, int16_t protocol);
    int32_t TestPcdDllStation(int16_t station);
    int32_t ReadPcdDllStatus(int16_t cpu, int32_t& status);
    int32_t ReadPcdDllFlags(int16_t address, int16_t count, int16_t firstIndex);
    int32_t ReadPcdDllInputs(int16_t address, int16_t count, int16_t firstIndex);
    int32_t ReadPcdDllRegisters(int16_t address, int16_t count, int16_t firstIndex);
    int32_t ReadPcdDllClock();
    bool ClosePcdDll();
    // Pelkor's own channel dialog: opens `device` (empty: port COM as
    // without a "Port" key) at `baud`, reads the status of `station` and
    // closes again; an open connection is closed before and reopened after.
    // The result text (with a hint for a device the user may not open) is
    // in `text`; returns the code (0: the station answered).
    int32_t TestPcdDllChannel(const std::string& device, int32_t baud, int16_t station,
                              std::string& text);

    // --- PG5 channel ---
    // Fills the PG5 folders; run once at program start.
    void ReadSAIARegistery();
    const std::string& Pg5AppsDir(int version) const;
    const std::string& Pg5LocalDir(int version) const;
    bool ProgramFolderFound(int version) override;
    bool CopyPg5Defaults(AppContext& app, const std::string& channelFile) override;
    bool SelectPg5Library();
    bool ReadPg5ChannelFile();
    // Edits the channel settings in the start file through PG5's dialog.
    bool ShowPg5ChannelDialog(intptr_t ownerWindow);
    int32_t ConnectPg5();
    int32_t SetPg5Station(int16_t station);
    int32_t SetPg5StationEx(int16_t station, const std::string& ip);
    bool ClosePg5();
    int32_t ReadPg5Status(int32_t& status);
    int32_t ReadPg5Clock();
    int32_t ReadPg5Bits(char letter, int16_t address, int16_t count, int16_t firstIndex);
    int32_t ReadPg5Registers(int16_t address, int16_t count, int16_t firstIndex);
    // The channel file: the current start file, else UserDataFolder + "/Default.pelk".
    std::string ChannelFile() const;
    int32_t Pg5Code() const { return pg5Code_; }
    bool Pg5Ready() const { return pg5Ready_; }

    // Seams the windows fill: the connection dialog (default: the library's
    // own) and the start file's connection-parameter store, run after the
    // dialog on the channel file.
    void SetPg5DialogCall(Pg5DialogCall call) { dialogCall_ = std::move(call); }
    void SetSaveConnectionParameters(std::function<void(const std::string& file)> save) {
        saveConnectionParameters_ = std::move(save);
    }

private:
    friend class BuiltinDriver;
    friend class Pg5Driver;

    void TrapError(const std::string& routine, const std::exception& e);
    // Names the built-in library's device for a connect ("" = as before:
    // $PELSBUS_COMn, else the first serial port).
    void NamePcdDllPort(const std::string& name);
    bool MovePcdDll(int16_t station, const std::string& ip);
    bool PortIsUdp() const;
    // No station of `task` answered (`tried` of them were tried).
    void FailConnect(PcdDriver& driver, int task, std::size_t tried);
    // The Pelsbus port name of an IP address over the UDP channel.
    std::string UdpPortName(const std::string& address) const;
    // The address the IP-channel messages name.
    const std::string& ChannelIp() const;
    void Pg5Message(const std::string& text);
    bool Pg5Failed(int32_t code);
    int32_t ReadBits(char letter, int16_t address, int16_t count);
    void LoseClosedPort(int32_t code);
    Pg5Library& Pg5Lib();
    bool EnsurePg5Library();

    AppContext& app_;
    // The driver as the manager calls it: through the user interface's
    // RunBlocking (see BlockingCalls.h).
    std::unique_ptr<PelsbusDriver> blockingSbus_;
    PelsbusDriver& sbus_;
    Pg5LibraryFactory pg5Factory_;
    std::unique_ptr<PcdDriver> builtinDriver_, pg5Driver_;
    ConnectionEvents* events_;

    int32_t resultCode_ = 0;
    std::string lastHint_; // the channel's cause last logged by a failed connect
    std::vector<int16_t> bitValues_ = std::vector<int16_t>(1);
    std::vector<uint8_t> bitBytes_ = std::vector<uint8_t>(1);
    std::vector<int32_t> registerValues_ = std::vector<int32_t>(1);

    int16_t cpu_ = 0;
    bool ipChannel_ = false, sbusChannel_ = false, pguMode_ = false;
    bool portNamed_ = false; // the built-in library's port has a name from us
    std::string dllIp_;      // address of the built-in UDP channel's last connect
    int16_t connectionStation_ = 0;
    int16_t addressedStation_ = 0;
    std::string addressedIp_;
    bool connecting_ = false;
    bool holdOff_ = false;
    bool reconnectPending_ = false;
    bool connectFailed_ = false;
    int16_t lastStatus_ = 2;
    std::array<std::vector<int16_t>, MaxTasks + 1> stationLists_{};

    // PG5 side.
    std::array<std::string, LastPg5Version - FirstPg5Version + 1> appsDir_{}, localDir_{};
    bool pg5Ready_ = false;
    int pg5BoundVersion_ = 0;
    std::unique_ptr<Pg5Library> pg5_;
    Pg5ChannelRecord record_{};
    int16_t channelFlag_ = 0;
    int32_t handle_ = 0;
    int16_t pg5Station_ = 0; // station the last ConnectPg5 determined
    int32_t pg5Code_ = 0;
    Date pcdClock_ = 0;
    Pg5DialogCall dialogCall_;
    std::function<void(const std::string&)> saveConnectionParameters_;
};

} // namespace pelkor
