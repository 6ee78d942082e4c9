// Connection manager: connect per task over its station list, station
// changes, the status watch, range-checked reads and the loss of connection.

#include <algorithm>
#include <cctype>

#include "log/LogEvents.h"
#include "pcd/BlockingCalls.h"
#include "pcd/PcdConnection.h"
#include "pcd/ResultTexts.h"
#include "pcd/builtin/BuiltinDriver.h"
#include "pcd/pg5/Pg5Driver.h"
#include "util/SerialDevices.h"
#include "util/Text.h"

namespace pelkor {

namespace {
constexpr int BitLimit = 8192;
constexpr int RegisterLimit = 16384;

std::string TaskPrefix(int task) {
    return "Task " + std::to_string(task) + " - ";
}
} // namespace

namespace {
struct NoConnectionEvents : ConnectionEvents {
    void ChannelOpened(PcdChannel) override {}
    void ConnectionOpened(PcdChannel) override {}
    void ConnectionFailed() override {}
    void ConnectionEnded(const std::string&) override {}
};

ConnectionEvents& Nobody() {
    static NoConnectionEvents nobody;
    return nobody;
}
} // namespace

PcdConnection::PcdConnection(AppContext& app, PelsbusDriver& sbus, Pg5LibraryFactory pg5Factory)
    : app_(app), blockingSbus_(std::make_unique<BlockingPelsbus>(app.Ui, sbus)),
      sbus_(*blockingSbus_), pg5Factory_(std::move(pg5Factory)),
      builtinDriver_(std::make_unique<BuiltinDriver>(*this)),
      pg5Driver_(std::make_unique<Pg5Driver>(*this)), events_(&Nobody()) {
    if (!pg5Factory_)
        pg5Factory_ = [](const std::string& dir, int version) {
            return std::make_unique<DlPg5Library>(dir, version);
        };
    pg5Factory_ = [inner = std::move(pg5Factory_), &ui = app.Ui](const std::string& dir,
                                                                 int version) {
        std::unique_ptr<Pg5Library> lib = inner(dir, version);
        return lib ? std::unique_ptr<Pg5Library>(
                         std::make_unique<BlockingPg5Library>(ui, std::move(lib)))
                   : nullptr;
    };
}

PcdConnection::~PcdConnection() = default;

void PcdConnection::SetEvents(ConnectionEvents* events) {
    events_ = events ? events : &Nobody();
}

// The start file may switch the channel at any time, so it is chosen at each call.
PcdDriver& PcdConnection::Driver() const {
    return app_.Status.PG5Available != 0 ? *pg5Driver_ : *builtinDriver_;
}

void PcdConnection::TrapError(const std::string& routine, const std::exception& e) {
    std::string text = routine + " function error : " + e.what();
    app_.Ui.MessageBox(text, "Pelkor", MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    LogEvent(app_, 2, text);
}

namespace {
// "udp:" in front (any case), as the library tells its UDP channel.
bool IsUdpPort(const std::string& port) {
    return port.size() >= 4 &&
           std::equal(port.begin(), port.begin() + 4, "udp:", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}
// Host and port of "HOST[:PORT]" ("[v6]:PORT"; an IPv6 address without
// brackets has no port).
void SplitAddress(const std::string& address, std::string& host, std::string& port) {
    const std::size_t colon = address.rfind(':');
    const bool bracketed = !address.empty() && address[0] == '[';
    if (colon == std::string::npos || (!bracketed && address.find(':') != colon) ||
        (bracketed && address.rfind(']') > colon)) {
        host = address;
        port.clear();
    } else {
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
    }
}
} // namespace

bool PcdConnection::PortIsUdp() const {
    return IsUdpPort(app_.Settings.Port);
}

bool PcdConnection::BuiltInIpChannel() const {
    return Driver().UdpChannel();
}

std::string PcdConnection::TaskAddress(int task) const {
    if (task >= 1 && task <= MaxTasks) {
        const Task& t = app_.Tasks[task];
        if (t.Settings == 0 && !Trim(t.IPAddress).empty()) return Trim(t.IPAddress);
    }
    return IsUdpPort(app_.Settings.Port) ? app_.Settings.Port.substr(4) : std::string();
}

std::string PcdConnection::UdpPortName(const std::string& address) const {
    std::string host, port, channelHost, channelPort;
    SplitAddress(address, host, port);
    SplitAddress(TaskAddress(0), channelHost, channelPort);
    if (port.empty()) port = channelPort;
    if (host.find(':') != std::string::npos && host[0] != '[') host = "[" + host + "]";
    return "udp:" + host + (port.empty() ? "" : ":" + port);
}

const std::string& PcdConnection::ChannelIp() const {
    return BuiltInIpChannel() ? dllIp_ : app_.Settings.IPAddress;
}

int PcdConnection::MoveToTaskAddress(int task, int16_t station) {
    if (!BuiltInIpChannel() || !app_.Status.Connected) return 0;
    const std::string address = TaskAddress(task);
    if (address == addressedIp_) return 0;
    return SetPcdIpStation(station, address) ? 1 : -1;
}

void PcdConnection::NamePcdDllPort(const std::string& name) {
    // Start files without "Port" leave the library exactly as before.
    if (name.empty() && !portNamed_) return;
    sbus_.PCDSetPortName(app_.Settings.COM, name.c_str());
    portNamed_ = !name.empty();
}

const std::vector<int16_t>& PcdConnection::StationList(int task) const {
    static const std::vector<int16_t> none;
    if (task < 0 || task > MaxTasks) return none;
    return stationLists_[static_cast<std::size_t>(task)];
}

void PcdConnection::NoteUnofferedBaudrate(int32_t baud) {
    const std::vector<int>& rates = BuiltInBaudrates();
    if (std::find(rates.begin(), rates.end(), baud) != rates.end()) return;
    LogEvent(app_, 1,
             "Baudrate " + std::to_string(baud) + " is not offered by the built-in library (" +
                 std::to_string(rates.front()) + " to " + std::to_string(rates.back()) + " Bd).");
}

void PcdConnection::FailConnect(PcdDriver& driver, int task, std::size_t tried) {
    // No station at all: the task's address list is empty or could not
    // be read, which its own message said; no connection was tried.
    app_.Status.LastErrorText =
        TaskPrefix(task) + (tried == 0 ? "The Task has no PCD address to connect to."
                                       : "No valid connection for the Task.");
    // The library's code says little ("COM already opened" for a missing
    // device); the cause goes with it to the status line and the log.
    const std::string hint = driver.FailureHint();
    // Logged when it changes, not on every retry of an automatic connect.
    if (!hint.empty() && hint != lastHint_) LogEvent(app_, 1, TaskPrefix(task) + hint);
    lastHint_ = hint;
    if (!hint.empty()) app_.Status.LastErrorText += " " + hint;
    events_->ConnectionFailed();
    if (tried >= 2) LogEvent(app_, 1, TaskPrefix(task) + "No PCD Connection available !");
    connecting_ = false;
    DisconnectOnPCD(1, resultCode_);
}

bool PcdConnection::OpenPcdConnection(bool force) {
    auto& st = app_.Status;
    if (!force && !app_.Settings.SingleShot && holdOff_) return false;
    st.LastErrorText.clear();
    if (connecting_) return false;
    holdOff_ = false;
    connecting_ = true;
    const int task = st.CurrentTask;
    try {
        PcdDriver& driver = Driver();
        const int32_t baud = app_.Settings.Baudrate > 0 ? app_.Settings.Baudrate : 9600;
        if (!driver.PrepareConnect(task, baud)) {
            connecting_ = false;
            return false;
        }
        // A copy: a status change during the attempt may rebuild the list.
        const std::vector<int16_t> stations = StationList(task);
        bool connected = false;
        std::size_t tried = 0;
        for (int16_t station : stations) {
            if (tried > 0) app_.Ui.ProcessEvents(); // a multi-station connect takes a while
            ++tried;
            connecting_ = true;
            connectionStation_ = station;
            int32_t code = driver.Connect(station, baud);
            if (code <= 0 && CheckPcdStatus()) {
                connected = true;
                break;
            }
            driver.StationFailed(code);
            if (ipChannel_)
                LogEvent(app_, 1,
                         TaskPrefix(task) + "Connection with PCD " + ChannelIp() + " failed !");
            else if (pguMode_)
                LogEvent(app_, 1, TaskPrefix(task) + "Connection with PCD (PGU mode) failed !");
            else
                LogEvent(app_, 1,
                         TaskPrefix(task) + "Connection with PCD station " +
                             std::to_string(station) + " failed !");
            connectFailed_ = true;
        }
        if (!connected) {
            FailConnect(driver, task, tried);
            return false;
        }
        const int16_t station = driver.ConnectedStation();
        if (ipChannel_)
            LogEvent(app_, 1,
                     TaskPrefix(task) + "Connection with PCD " + ChannelIp() + " station " +
                         std::to_string(station) + " established.");
        else if (pguMode_)
            LogEvent(app_, 1, TaskPrefix(task) + "Connection with PCD (PGU mode) established.");
        else
            LogEvent(app_, 1,
                     TaskPrefix(task) + "Connection with PCD station " + std::to_string(station) +
                         " established.");
        st.Connected = 1;
        // The PG5 channel may have found another station (automatic station):
        // failed station changes must fall back to the one really connected.
        connectionStation_ = station;
        connecting_ = false;
        connectFailed_ = false;
        addressedStation_ = station;
        addressedIp_ = ChannelIp();
        SearchAllStation(task, station);
        reconnectPending_ = false;
        events_->ConnectionOpened(driver.Channel());
        return true;
    } catch (const DriverBindError&) {
        // An unbound driver ends the attempt without a word.
    } catch (const std::exception& e) {
        TrapError("OpenPcdConnection", e);
    }
    connecting_ = false;
    st.Connected = 0;
    return false;
}

void PcdConnection::SearchAllStation(int task, int16_t station) {
    try {
        Task& t = app_.Tasks[task];
        auto& list = stationLists_.at(static_cast<std::size_t>(task));
        list.clear();
        for (ResourceEntry& e : t.Entries()) {
            if (e.StationInherited) e.Station = station;
            if (std::find(list.begin(), list.end(), e.Station) == list.end())
                list.push_back(e.Station);
            e.StationFailed = false;
        }
    } catch (const std::exception& e) {
        std::string text = std::string("SearchAllStation Function Error : ") + e.what();
        app_.Ui.MessageBox(text, "Pelkor", MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        LogEvent(app_, 2, text);
    }
}

bool PcdConnection::SetPcdStation(int16_t station) {
    try {
        int32_t code = Driver().SetStation(station);
        if (code < 1) {
            addressedStation_ = station;
            return true;
        }
    } catch (const std::exception& e) {
        TrapError("SetPcdStation", e);
    }
    addressedStation_ = connectionStation_;
    addressedIp_ = ChannelIp();
    return false;
}

bool PcdConnection::SetPcdIpStation(int16_t station, const std::string& ip) {
    PcdDriver& driver = Driver();
    if (!driver.IpMovable()) {
        app_.Ui.MessageBox("No IP Connection with internal DLL !", "Pelkor", MsgIcon::Critical,
                           MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    try {
        if (driver.MoveTo(station, ip)) {
            addressedStation_ = station;
            addressedIp_ = ip;
            return true;
        }
        connectFailed_ = true;
        if (sbusChannel_) {
            app_.Status.LastErrorText = "Change SBus Address to " + ip + " failed !";
            LogEvent(app_, 1, "Connection with PCD " + ip + " failed !");
        } else if (ipChannel_) {
            app_.Status.LastErrorText = "Change PCD IP " + ip + " failed !";
            LogEvent(app_, 1,
                     "Connection with PCD station " + std::to_string(station) + " failed !");
        }
    } catch (const std::exception& e) {
        TrapError("SetPcdIpStation", e);
    }
    return false;
}

bool PcdConnection::CheckPcdStatus() {
    try {
        int32_t status = 0;
        int32_t code = Driver().ReadStatus(status);
        if (code != 0) {
            LoseClosedPort(code);
            return false;
        }
        if (status == lastStatus_) return true;
        lastStatus_ = static_cast<int16_t>(status);
        LogEvent(app_, 1, "New PCD Status = " + std::to_string(status));
        if (status >= 2) return true;
        if (status == 0 || status == 1)
            DisconnectOnPCD(static_cast<int16_t>(status + 12), resultCode_);
    } catch (const std::exception& e) {
        TrapError("CheckPcdStatus", e);
    }
    return false;
}

// The built-in library reaches another address by reopening its port under
// that name; on failure it goes back to the address it had.
bool PcdConnection::MovePcdDll(int16_t station, const std::string& ip) {
    const int32_t baud = app_.Settings.Baudrate > 0 ? app_.Settings.Baudrate : 9600;
    NamePcdDllPort(UdpPortName(ip));
    if (OpenPcdDll(app_.Settings.COM, station, baud, 1) <= 0 && TestPcdDllStation(station) == 0) {
        dllIp_ = ip;
        return true;
    }
    const std::string reason = app_.Status.LastErrorText;
    NamePcdDllPort(UdpPortName(addressedIp_));
    OpenPcdDll(app_.Settings.COM, addressedStation_, baud, 1);
    app_.Status.LastErrorText = reason;
    return false;
}

void PcdConnection::ClosePcdConnection(const std::string& message) {
    auto& st = app_.Status;
    if (st.Connected) {
        try {
            Driver().Close();
        } catch (const std::exception&) {
            // Closing goes on whatever the driver says: the connection is gone.
        }
        if (!message.empty()) {
            reconnectPending_ = true;
            LogEvent(app_, 2, message);
        } else {
            reconnectPending_ = false;
            LogEvent(app_, 1, TaskPrefix(st.CurrentTask) + "PCD connection closed.");
        }
        if (!app_.Settings.SingleShot) app_.Ui.Beep();
    }
    connecting_ = false;
    st.Connected = 0;
}

void PcdConnection::DisconnectOnPCD(int16_t reason, int32_t code) {
    try {
        const auto& st = app_.Status;
        std::string message;
        if (reason <= 0) {
            if (st.AutoConnectActive) {
                message = "Autoconnection is activated, the PCD will be reconnected";
                holdOff_ = true;
            } else {
                message = "Press 'Start' button to activate the PCD connection";
            }
        } else if (reason == 1) {
            message =
                (code >= 9 ? "PCD Connection aborted." : "PCD Connection parameters not correct.") +
                std::string("   Error: ") + st.LastErrorText;
        } else if (reason == 12) {
            message = "COM Port was closed by another application !";
        } else {
            message = "The DLL was Disconnected !";
        }
        if (reason <= 0) {
            // A stop during a reading ends it at its next entry; the reader
            // would otherwise reopen the port the user just closed.
            if (st.ReadingActive) connectFailed_ = true;
            ClosePcdConnection("");
            if (app_.Settings.SingleShot) return;
        } else {
            ClosePcdConnection(message);
        }
        events_->ConnectionEnded(message);
    } catch (const std::exception& e) {
        TrapError("DisconnectOnPCD", e);
    }
}

// The built-in library answers "COM Closed" to a read when it could not
// reopen a port whose device went away: the connection is lost, and the
// reconnect cycle brings it back once the device is there. A status read on
// a failed port (99) is not: the readings go on, each leaving its record
// with empty fields, and each reopens the port until the device is back.
void PcdConnection::LoseClosedPort(int32_t code) {
    if (code != PortClosedCode || !Driver().LosesClosedPort() || !app_.Status.Connected ||
        connecting_)
        return;
    DisconnectOnPCD(1, code);
}

int32_t PcdConnection::ReadBits(char letter, int16_t address, int16_t count) {
    const char* routine = letter == 'F' ? "ReadPcdFlags" : "ReadPcdInputs";
    try {
        if (count < 1) return 0;
        if (int(address) + int(count) > BitLimit) {
            app_.Status.LastErrorText =
                letter == 'F' ? "Flag address out of range !" : "Input address out of range !";
            return BitRangeError;
        }
        bitValues_.assign(static_cast<std::size_t>(count), 0);
        bitBytes_.assign(static_cast<std::size_t>(count), 0);
        const int32_t code = Driver().ReadBits(letter, address, count);
        resultCode_ = code;
        LoseClosedPort(code);
        return code;
    } catch (const std::exception& e) {
        TrapError(routine, e);
        app_.Status.LastErrorText = e.what();
    }
    // Never report a read that did not happen as a success.
    resultCode_ = -1;
    return -1;
}

int32_t PcdConnection::ReadPcdFlags(int16_t address, int16_t count) {
    return ReadBits('F', address, count);
}
int32_t PcdConnection::ReadPcdInputs(int16_t address, int16_t count) {
    return ReadBits('I', address, count);
}

int32_t PcdConnection::ReadPcdRegisters(int16_t address, int16_t count, int16_t firstIndex) {
    try {
        if (count < 1) return 0;
        if (int(address) + int(count) > RegisterLimit) {
            app_.Status.LastErrorText = "Register address out of range !";
            return RegisterRangeError;
        }
        if (firstIndex < 0) firstIndex = 0;
        // Room for the values from the first index on.
        registerValues_.assign(
            static_cast<std::size_t>(firstIndex) + static_cast<std::size_t>(count), 0);
        const int32_t code = Driver().ReadRegisters(address, count, firstIndex);
        resultCode_ = code;
        LoseClosedPort(code);
        return code;
    } catch (const std::exception& e) {
        TrapError("ReadPcdRegisters", e);
        app_.Status.LastErrorText = e.what();
    }
    resultCode_ = -1;
    return -1;
}

int32_t PcdConnection::ReadPcdClock() {
    try {
        PcdDriver& driver = Driver();
        if (!driver.CanReadClock()) {
            resultCode_ = 1;
            app_.Status.LastErrorText = "Function not supported by the local DLL";
            return 1;
        }
        resultCode_ = driver.ReadClock();
        return resultCode_;
    } catch (const std::exception& e) {
        TrapError("ReadPcdClock", e);
        app_.Status.LastErrorText = e.what();
    }
    resultCode_ = -1;
    return -1;
}

} // namespace pelkor
