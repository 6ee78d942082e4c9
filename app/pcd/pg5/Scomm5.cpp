// The PG5 communication channel: finding PG5, choosing its library, the
// channel settings in the start file and the channel's calls.

#include <sys/stat.h>

#include "config/PrivateProfile.h"
#include "config/Registry.h"
#include "config/StartFile.h"
#include "core/TaskRules.h"
#include "log/Folders.h"
#include "pcd/PcdConnection.h"
#include "pcd/ResultTexts.h"
#include "util/DateTime.h"
#include "util/Number.h"
#include "util/Shell.h"
#include "util/Text.h"

namespace pelkor {

namespace {
constexpr const char* Section = "GoOnline";

std::size_t VersionIndex(int version) {
    return static_cast<std::size_t>(version - FirstPg5Version);
}

bool IsRegularFile(const std::string& path) {
    struct stat sb {};
    return stat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode);
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder;
}
} // namespace

// ---- finding PG5 ----

void PcdConnection::ReadSAIARegistery() {
    int version = FirstPg5Version;
    try {
        for (; version <= LastPg5Version; ++version) {
            auto i = VersionIndex(version);
            if (version < 20) {
                std::string key =
                    "Software\\SAIA-Burgess\\PG5\\1." + std::to_string(version % 10) + "\\Global";
                appsDir_[i] = GetRegString(key, "AppsDir");
                localDir_[i] = appsDir_[i];
            } else {
                std::string base = GetCommonDocumentsParent();
                std::string ini;
                if (!base.empty()) {
                    ini = WithSlash(base) + "Saia-Burgess/PG5_" + std::to_string(version) +
                          "/LocalDir/PG5Global.ini";
                } else {
                    base = GetCommonAppDataFolder();
                    if (!base.empty())
                        ini = WithSlash(base) + "Saia-Burgess/PG5_" + std::to_string(version) +
                              "/PG5Global.ini";
                }
                appsDir_[i] =
                    ini.empty() ? std::string() : ReadProfileString(ini, "Global", "AppsDir");
                localDir_[i] =
                    ini.empty() ? std::string() : ReadProfileString(ini, "Global", "LocalDir");
            }
        }
    } catch (const std::exception& e) {
        app_.Ui.MessageBox("ReadSAIARegistery function error : \r\nPG5 " + std::to_string(version) +
                               " Error : \r\n" + e.what(),
                           "Pelkor", MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    }
}

const std::string& PcdConnection::Pg5AppsDir(int version) const {
    static const std::string none;
    if (version < FirstPg5Version || version > LastPg5Version) return none;
    return appsDir_[VersionIndex(version)];
}

const std::string& PcdConnection::Pg5LocalDir(int version) const {
    static const std::string none;
    if (version < FirstPg5Version || version > LastPg5Version) return none;
    return localDir_[VersionIndex(version)];
}

bool PcdConnection::ProgramFolderFound(int version) {
    const std::string& dir = Pg5AppsDir(version);
    return !dir.empty() && FolderExists(dir);
}

// ---- library and channel file ----

void PcdConnection::Pg5Message(const std::string& text) {
    app_.Ui.MessageBox(text, "Pelkor", MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
}

bool PcdConnection::Pg5Failed(int32_t code) {
    pg5Code_ = code;
    resultCode_ = code;
    if (code > 0) ScommErrorText(app_.Status, code);
    return code > 0;
}

bool PcdConnection::SelectPg5Library() {
    const int version = app_.Settings.DLL;
    auto& text = app_.Status.LastErrorText;
    if (version < FirstPg5Version) {
        text = "Unknow PG5 version ! " + std::to_string(version) + " < " +
               std::to_string(FirstPg5Version);
        Pg5Message(text);
        return false;
    }
    if (version > LastPg5Version) {
        text = "Unknow PG5 version ! " + std::to_string(version) + " > " +
               std::to_string(LastPg5Version);
        Pg5Message(text);
        return false;
    }
    // The library is bound by its full path, so the current folder is left alone.
    const std::string& dir = Pg5AppsDir(version);
    if (!dir.empty() && IsRegularFile(WithSlash(dir) + Pg5DllFileName(version))) return true;
    text = "No PG5 ScommDll founded ! (PG5" + std::to_string(version) + ")";
    Pg5Message(text);
    return false;
}

// A change of version since the channel was made ready needs a new choice.
bool PcdConnection::EnsurePg5Library() {
    return (pg5Ready_ && pg5BoundVersion_ == app_.Settings.DLL) || SelectPg5Library();
}

Pg5Library& PcdConnection::Pg5Lib() {
    const int version = app_.Settings.DLL;
    if (!pg5_ || pg5BoundVersion_ != version) {
        pg5_ = pg5Factory_(Pg5AppsDir(version), version);
        pg5BoundVersion_ = version;
    }
    return *pg5_;
}

std::string PcdConnection::ChannelFile() const {
    if (!app_.Settings.StartFile.empty()) return app_.Settings.StartFile;
    return app_.UserDataFolder + "/Default.pelk";
}

bool PcdConnection::ReadPg5ChannelFile() {
    const std::string file = ChannelFile();
    try {
        if (!EnsurePg5Library()) return false;
        std::string channel, error;
        if (!ReadProfileString(file, Section, "Channel", channel, error)) {
            Pg5Message("Cannot open PCD Channel Setup file : " + file);
            return false;
        }
        channel = GetIniString(file, Section, "Channel");
        // A failed copy has shown its message; the connect goes on and fails
        // (or not) with the library's own verdict, logged like any other.
        if (Trim(channel).empty()) CopyPg5Defaults(app_, file);
        pguMode_ = LeadingNumber(GetIniString(file, Section, "PguMode")) != 0;
        return true;
    } catch (const std::exception&) {
        Pg5Message(file.empty() ? std::string("Cannot open PCD Channel Setup file !")
                                : "Cannot open PCD Channel Setup file : " + file);
    }
    return false;
}

bool PcdConnection::CopyPg5Defaults(AppContext& app, const std::string& channelFile) {
    try {
        if (!EnsurePg5Library()) return false;
        Pg5Library& lib = Pg5Lib();
        if (Pg5Failed(lib.PcdRdChanSetupFromIni(nullptr, Section, record_, channelFlag_))) {
            Pg5Message("Read Channel Settings Error : " + app.Status.LastErrorText);
            return false;
        }
        if (Pg5Failed(lib.PcdWrChanSetupToIni(channelFile.c_str(), Section, record_))) {
            Pg5Message("Write Connection File Settings Error : " + app.Status.LastErrorText);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        TrapError("CopyPg5Defaults", e);
    }
    return false;
}

bool PcdConnection::ShowPg5ChannelDialog(intptr_t ownerWindow) {
    try {
        if (!EnsurePg5Library()) return false;
        const std::string file = ChannelFile();
        const auto& s = app_.Settings;
        std::string error;
        if (!WriteProfileStrings(file,
                                 {{Section, "Station", std::to_string(s.Station)},
                                  {Section, "AutoStation", std::to_string(s.AutoStation)},
                                  {Section, "IPAddress", s.IPAddress}},
                                 &error)) {
            Pg5Message("Cannot open PCD Channel Setup file : " + file);
            return false;
        }
        if (Trim(GetIniString(file, Section, "Channel")).empty() && !CopyPg5Defaults(app_, file))
            return false;
        Pg5Library& lib = Pg5Lib();
        if (Pg5Failed(lib.PcdRdChanSetupFromIni(file.c_str(), Section, record_, channelFlag_))) {
            Pg5Message("Read Channel Settings Error : " + app_.Status.LastErrorText);
            return false;
        }
        int32_t code = dialogCall_ ? dialogCall_(ownerWindow, record_, channelFlag_)
                                   : lib.PcdConnectionDialog(ownerWindow, record_, channelFlag_);
        if (Pg5Failed(code)) {
            Pg5Message("Display PG5 Setup Window Error : " + app_.Status.LastErrorText);
            return false;
        }
        if (Pg5Failed(lib.PcdWrChanSetupToIni(file.c_str(), Section, record_))) {
            Pg5Message("Write Connection File Settings Error : " + app_.Status.LastErrorText);
            return false;
        }
        if (saveConnectionParameters_)
            saveConnectionParameters_(file);
        else
            SaveConnectionParameters(app_, file, [this](int16_t st) { addressedStation_ = st; });
        std::string channel = Trim(GetIniString(file, Section, "Channel"));
        ipChannel_ = sbusChannel_ = pguMode_ = false;
        if (EqualsNoCase(channel, "SOCKET")) {
            ipChannel_ = true;
        } else if (!EqualsNoCase(channel, "USB")) {
            sbusChannel_ = true;
            pguMode_ = LeadingNumber(GetIniString(file, Section, "PguMode")) != 0;
        }
        return true;
    } catch (const std::exception& e) {
        TrapError("ShowPg5ChannelDialog", e);
    }
    return false;
}

// ---- the channel ----

int32_t PcdConnection::ConnectPg5() {
    try {
        if (!EnsurePg5Library()) {
            pg5Code_ = resultCode_ = Pg5NotAvailable;
            return Pg5NotAvailable;
        }
        ipChannel_ = sbusChannel_ = pguMode_ = false;
        const std::string file = ChannelFile();
        std::string channel = Trim(GetIniString(file, Section, "Channel"));
        if (EqualsNoCase(channel, "SOCKET")) {
            ipChannel_ = true;
        } else if (!EqualsNoCase(channel, "PGU")) {
            sbusChannel_ = true;
            pguMode_ = LeadingNumber(GetIniString(file, Section, "PguMode")) != 0;
        }
        const auto& s = app_.Settings;
        int16_t station = s.Station, autoStation = s.AutoStation;
        std::string ip = s.IPAddress;
        const Task& t = app_.Tasks[app_.Status.CurrentTask];
        if (HasOwnStation(t)) {
            station = t.SBus;
            autoStation = t.Auto;
            ip = t.IPAddress;
        }
        std::vector<ProfileWrite> writes = {{Section, "Station", std::to_string(station)},
                                            {Section, "AutoStation", std::to_string(autoStation)}};
        if (ipChannel_) writes.push_back({Section, "IPAddress", ip});
        if (!WriteProfileStrings(file, writes))
            Pg5Message("PG5 Connection Error : wrinting ini file error.");

        Pg5Library& lib = Pg5Lib();
        if (Pg5Failed(lib.PcdRdChanSetupFromIni(file.c_str(), Section, record_, channelFlag_)))
            return pg5Code_;
        pg5Ready_ = true;
        handle_ = 0;
        if (Pg5Failed(lib.PcdConnectChannel(handle_, record_, channelFlag_))) return pg5Code_;
        events_->ChannelOpened(PcdChannel::Pg5);
        if (autoStation) {
            int32_t pcdStation = 0;
            if (Pg5Failed(lib.PcdRdStation(handle_, pcdStation))) pcdStation = 0;
            pg5Station_ = static_cast<int16_t>(pcdStation);
        } else {
            pg5Station_ = station;
        }
        return pg5Code_;
    } catch (const std::exception& e) {
        Pg5Message(std::string("PG5 Connection Error : ") + e.what());
    }
    pg5Code_ = resultCode_ = Pg5NotAvailable;
    return Pg5NotAvailable;
}

int32_t PcdConnection::SetPg5Station(int16_t station) {
    if (!EnsurePg5Library()) return 1;
    Pg5Library& lib = Pg5Lib();
    int32_t code = lib.PcdSetStation(handle_, station);
    if (code <= 0) {
        int32_t status = 0;
        code = lib.PcdRdStatus(handle_, status);
    }
    if (Pg5Failed(code)) {
        lib.PcdSetStation(handle_, connectionStation_);
        return 1;
    }
    return 0;
}

int32_t PcdConnection::SetPg5StationEx(int16_t station, const std::string& ip) {
    if (!EnsurePg5Library()) return pg5Code_ = resultCode_ = Pg5NotAvailable;
    Pg5Library& lib = Pg5Lib();
    int32_t code = lib.PcdSetStationEx(handle_, station, ip);
    if (code <= 0) {
        int32_t status = 0;
        code = lib.PcdRdStatus(handle_, status);
    }
    if (Pg5Failed(code)) lib.PcdSetStationEx(handle_, addressedStation_, addressedIp_);
    return code;
}

bool PcdConnection::ClosePg5() {
    if (!EnsurePg5Library()) return false;
    pg5Ready_ = false;
    Pg5Library& lib = Pg5Lib();
    if (Pg5Failed(lib.PcdDisconnectChannel(handle_))) return false;
    lib.PcdComClose(handle_);
    return true;
}

int32_t PcdConnection::ReadPg5Status(int32_t& status) {
    if (!EnsurePg5Library()) return pg5Code_ = resultCode_ = Pg5NotAvailable;
    Pg5Failed(Pg5Lib().PcdRdStatus(handle_, status));
    return pg5Code_;
}

int32_t PcdConnection::ReadPg5Clock() {
    if (!EnsurePg5Library()) return pg5Code_ = resultCode_ = Pg5NotAvailable;
    Pg5ClockRecord clock;
    if (!Pg5Failed(Pg5Lib().PcdRdClock(handle_, clock)) && pg5Code_ == 0)
        pcdClock_ = DateFromParts(clock.Year, clock.Month, clock.Day, clock.Hour, clock.Minute,
                                  clock.Second);
    return pg5Code_;
}

int32_t PcdConnection::ReadPg5Bits(char letter, int16_t address, int16_t count,
                                   int16_t firstIndex) {
    if (!EnsurePg5Library()) return pg5Code_ = resultCode_ = Pg5NotAvailable;
    if (count < 1) return 0;
    firstIndex = std::max<int16_t>(firstIndex, 0);
    bitBytes_.assign(static_cast<std::size_t>(count), static_cast<uint8_t>('0'));
    if (bitValues_.size() < static_cast<std::size_t>(firstIndex + count))
        bitValues_.resize(static_cast<std::size_t>(firstIndex + count));
    if (!Pg5Failed(Pg5Lib().PcdRdIOF(handle_, letter, address, count, bitBytes_.data())) &&
        pg5Code_ == 0)
        for (int i = 0; i < count; ++i)
            bitValues_[static_cast<std::size_t>(firstIndex + i)] =
                static_cast<int16_t>(bitBytes_[i] - '0');
    return pg5Code_;
}

int32_t PcdConnection::ReadPg5Registers(int16_t address, int16_t count, int16_t firstIndex) {
    if (!EnsurePg5Library()) return pg5Code_ = resultCode_ = Pg5NotAvailable;
    if (count < 1) return 0;
    firstIndex = std::max<int16_t>(firstIndex, 0);
    if (registerValues_.size() < static_cast<std::size_t>(firstIndex + count))
        registerValues_.resize(static_cast<std::size_t>(firstIndex + count));
    Pg5Failed(Pg5Lib().PcdRdRTC(handle_, 'R', address, count, registerValues_.data() + firstIndex));
    return pg5Code_;
}

} // namespace pelkor
