#include "config/StartFile.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <vector>

#include "config/KeyCodecs.h"
#include "config/PrivateProfile.h"
#include "config/ResourceLists.h"
#include "core/TaskRules.h"
#include "log/LogEvents.h"
#include "util/DateTime.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

const char* const kTitle = "Pelkor";
const char* const kPelkor = "Pelkor";
const char* const kConnection = "Connection";
const char* const kGoOnline = "GoOnline";

std::string CutComment(std::string value) {
    std::size_t pos = value.find(";;");
    if (pos != std::string::npos) value.erase(pos);
    return value;
}

std::string TaskSection(int n) {
    return "Task" + std::to_string(n);
}

// A start-file error with its description (the text the user sees).
struct BadValue : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Values of one loaded start file with the start-file value rule.
class StartFileValues {
public:
    explicit StartFileValues(const ProfileDocument& doc) : doc_(doc) {}
    std::string Text(const std::string& section, const std::string& key) const {
        return CutComment(doc_.GetWhole(section, key));
    }
    int16_t Number16(const std::string& section, const std::string& key) const {
        return To16(Text(section, key), section, key);
    }
    static int16_t To16(const std::string& text, const std::string& section,
                        const std::string& key) {
        int16_t v = 0;
        if (!ToInt16(LeadingNumber(text), v))
            throw BadValue("Overflow ([" + section + "] " + key + ")");
        return v;
    }
    int32_t Number32(const std::string& section, const std::string& key) const {
        int32_t v = 0;
        if (!ToInt32(LeadingNumber(Text(section, key)), v))
            throw BadValue("Overflow ([" + section + "] " + key + ")");
        return v;
    }

private:
    const ProfileDocument& doc_;
};

void ApplyIfPresent(const StartFileValues& v, const std::string& sec, const std::string& key,
                    std::string& field) {
    std::string t = v.Text(sec, key);
    if (!t.empty()) field = t;
}

void ApplyIfPresent(const StartFileValues& v, const std::string& sec, const std::string& key,
                    int16_t& field) {
    std::string t = v.Text(sec, key);
    if (!t.empty()) field = StartFileValues::To16(t, sec, key);
}

// Empty (or 0) leaves the rate unset, which is 9600. A rate the library
// does not take is kept: the connect fails with the library's own result.
int32_t ReadBaudrate(const StartFileValues& v) {
    const std::string text = v.Text(kConnection, "Baudrate");
    if (Trim(text).empty()) return 0;
    const int32_t baud = v.Number32(kConnection, "Baudrate");
    if (baud < 0) throw BadValue("Invalid baud rate ([Connection] Baudrate = " + text + ")");
    return baud;
}

void ApplyIfPositive(const StartFileValues& v, const std::string& key, int16_t& field) {
    int16_t n = v.Number16(kPelkor, key);
    if (n > 0) field = n;
}

void ReadTask(const StartFileValues& v, Task& t, const std::string& sec,
              const std::string& pg5Settings, std::vector<ProfileWrite>& writeBack) {
    std::string settings = v.Text(sec, "Settings");
    if (settings.empty()) {
        t.Settings = StartFileValues::To16(pg5Settings, kConnection, "PG5Settings");
        writeBack.push_back({sec, "Settings", std::to_string(t.Settings), false});
    } else {
        t.Settings = StartFileValues::To16(settings, sec, "Settings");
    }

    ApplyIfPresent(v, sec, "IPAddress", t.IPAddress);
    ApplyIfPresent(v, sec, "SBus", t.SBus);
    ApplyIfPresent(v, sec, "Auto", t.Auto);
    t.Disabled = v.Number16(sec, "Disabled");
    t.Comments = v.Text(sec, "Comments");

    ApplyIfPresent(v, sec, "IntervalUnit", t.IntervalUnit);
    if (!v.Text(sec, "ReadInterval").empty()) t.ReadInterval = v.Number32(sec, "ReadInterval");
    std::string hour = v.Text(sec, "ReadHour");
    if (!hour.empty() && !ParseDateText(hour, t.ReadHour))
        throw BadValue("Type mismatch ([" + sec + "] ReadHour = " + hour + ")");

    std::string fileType = v.Text(sec, "FileType");
    if (fileType.empty()) {
        t.FileType.clear();
        t.OutFolder.clear();
        t.FormatTime.clear();
        t.FileName.clear();
        t.OutSheet.clear();
        t.StartCell.clear();
        t.FormatUsed = t.FileIndex = t.Orientation = t.Overwrite = t.FileNew = 0;
    } else {
        t.FileType = fileType;
        ApplyIfPresent(v, sec, "OutFolder", t.OutFolder);
        ApplyIfPresent(v, sec, "FileName", t.FileName);
        ApplyIfPresent(v, sec, "FileIndex", t.FileIndex);
        ApplyIfPresent(v, sec, "OutSheet", t.OutSheet);
        ApplyIfPresent(v, sec, "StartCell", t.StartCell);
        ApplyIfPresent(v, sec, "Orientation", t.Orientation);
        ApplyIfPresent(v, sec, "Overwrite", t.Overwrite);
        ApplyIfPresent(v, sec, "FileNew", t.FileNew);
        ApplyIfPresent(v, sec, "FormatUsed", t.FormatUsed);
        ApplyIfPresent(v, sec, "FormatTime", t.FormatTime);
    }

    int16_t headLines = 0;
    if (!ToInt16(GetNumberField(0, v.Text(sec, "HeadLines"), ""), headLines))
        throw BadValue("Overflow ([" + sec + "] HeadLines)");
    t.HeadLines = headLines;
    ParseHeadlineKey(v.Text(sec, "LineCount"), t.LineCount, t.LineCountText);
    ParseHeadlineKey(v.Text(sec, "TimeStamp"), t.TimeStamp, t.TimeStampText);
    ParseHeadlineKey(v.Text(sec, "MissValues"), t.MissValues, t.MissValuesText);
    ParseHeadlineKey(v.Text(sec, "TaskNumber"), t.TaskNumber, t.TaskNumberText);

    ApplyIfPresent(v, sec, "Title", t.Title);
    std::string data = v.Text(sec, "Data");
    if (!data.empty()) t.Data = UpperCase(data);
    ApplyIfPresent(v, sec, "DataHead", t.DataHead);
    t.DataFile = v.Text(sec, "DataFile");
    t.DataSheet = v.Text(sec, "DataSheet");
    t.DataCell = v.Text(sec, "DataCell");
}

std::string Num(int value) {
    return std::to_string(value);
}

} // namespace

std::string GetIniString(const std::string& file, const std::string& section,
                         const std::string& key) {
    return CutComment(ReadProfileString(file, section, key));
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    return WriteProfileString(file, section, key, value);
}

bool ClearStartFileSection(AppContext& app, const std::string& file, const std::string& section) {
    ProfileDocument doc;
    std::string error;
    bool ok =
        LoadProfileFile(file, doc, error) && doc.Set(kPelkor, "Task", Num(app.Settings.TaskCount));
    if (ok) {
        doc.RemoveSection(section);
        ok = SaveProfileFile(file, doc, error);
    }
    if (!ok) app.Status.LastErrorText = error;
    return ok;
}

bool CopyPg5DefaultsIfAvailable(AppContext& app, const std::string& file) {
    if (app.Status.PG5Available == 0 || app.Pg5 == nullptr) return true;
    return app.Pg5->CopyPg5Defaults(app, file);
}

bool ReadPelkorStartFile(AppContext& app) {
    AppSettings& s = app.Settings;
    const std::string file = s.StartFile;
    std::vector<ProfileWrite> writeBack;
    // Written back only once the whole file was read; a read-only start file
    // simply keeps its old text.
    auto flushWriteBack = [&] {
        if (!writeBack.empty()) WriteProfileStrings(file, writeBack);
        writeBack.clear();
    };
    std::string description;
    try {
        ProfileDocument doc;
        std::string error;
        if (!LoadProfileFile(file, doc, error)) throw BadValue(error);
        StartFileValues v(doc);

        if (LeadingNumber(v.Text(kPelkor, "Version")) < 1) throw BadValue("");

        ApplyIfPositive(v, "SingleShot", s.SingleShot);
        ApplyIfPositive(v, "Hidden", s.Hidden);
        ApplyIfPositive(v, "Minimized", s.Minimized);
        ApplyIfPositive(v, "LogUsed", s.LogUsed);
        ApplyIfPositive(v, "ReadWindow", s.ReadWindow);
        s.StartMode = v.Number16(kPelkor, "Locked") > 0 ? 2 : 1;
        // "LogFolder=/x/log ;; note" leaves a blank before the comment.
        std::string logFolder = Trim(v.Text(kPelkor, "LogFolder"));
        SetLogFolder(s, logFolder.empty() ? s.LogFolder : logFolder);
        ApplyIfPresent(v, kPelkor, "DDEServer", s.DDEServer);
        // A count beyond the table could never be run; keep what fits.
        double count = std::round(LeadingNumber(v.Text(kPelkor, "Task")));
        s.TaskCount = static_cast<int16_t>(std::clamp(count, 1.0, static_cast<double>(MaxTasks)));

        ApplyIfPresent(v, kConnection, "AutoConnect", s.AutoConnect);
        app.Status.AutoConnectActive = s.AutoConnect;
        s.Station = v.Number16(kConnection, "Station");
        s.AutoStation = v.Number16(kConnection, "AutoStation");
        s.IPAddress = v.Text(kConnection, "IPAddress");
        s.Port = Trim(v.Text(kConnection, "Port"));
        s.Baudrate = ReadBaudrate(v);
        const std::string pg5Settings = v.Text(kConnection, "PG5Settings");
        // A driver chosen on the command line wins.
        if (s.DLL == 0) s.DLL = v.Number16(kConnection, "DLL");

        ProfileDocument reloaded;
        const ProfileDocument* tasksDoc = &doc;
        if (v.Text(kGoOnline, "Channel").empty() && app.Status.PG5Available != 0 &&
            app.Pg5 != nullptr) {
            CopyPg5DefaultsIfAvailable(app, file);
            if (LoadProfileFile(file, reloaded, error)) tasksDoc = &reloaded;
        }
        StartFileValues tv(*tasksDoc);
        for (int i = 1; i <= s.TaskCount; ++i) {
            // Only task 1 starts from the defaults; the others from zero.
            if (i > 1) ZeroTaskRecord(app.Tasks[i]);
            ReadTask(tv, app.Tasks[i], TaskSection(i), pg5Settings, writeBack);
            const Task& t = app.Tasks[i];
            if (!ResourceHeadsLineUp(t.Data, t.DataHead))
                LogEvent(app, 1,
                         "Task " + std::to_string(i) +
                             " : the headlines (DataHead) do not line up with "
                             "the addresses (Data)");
        }
        flushWriteBack();

        if (s.SingleShot != 0) {
            s.StartMode = 2;
            app.Status.AutoConnectActive = 1;
        }
        return true;
    } catch (const std::exception& e) {
        description = e.what();
    }
    // A file that cannot be read is the user's to mend: nothing is added to it.
    LogEvent(app, 2, "Bad start file: " + file + " - " + description);
    app.Ui.MessageBox("ReadPelkorStartFile function error : " + description, kTitle,
                      MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
    app.Status.LastErrorText = description;
    return false;
}

bool WriteStartFileSettings(AppContext& app) {
    return WriteStartFileSettings(app, app.Settings.StartFile);
}

bool WriteStartFileSettings(AppContext& app, const std::string& file) {
    const AppSettings& s = app.Settings;
    std::vector<ProfileWrite> w = {
        {kPelkor, "Version", Num(StartFileVersion), false},
        {kPelkor, "MinPelkor", "1", false},
        {kPelkor, "Locked", "0", false},
        {kPelkor, "Visible", "0", false},
        {kPelkor, "LogFolder", s.LogFolder, false},
        {kPelkor, "LogUsed", Num(s.LogUsed), false},
        {kPelkor, "ReadWindow", Num(s.ReadWindow), false},
        {kPelkor, "Task", Num(s.TaskCount), false},
        {kConnection, "AutoConnect", Num(s.AutoConnect), false},
        {kConnection, "DLL", Num(s.DLL), false},
        {kConnection, "Port", s.Port, false},
        {kConnection, "Baudrate", s.Baudrate > 0 ? Num(s.Baudrate) : std::string(), false},
    };
    std::string error;
    if (WriteProfileStrings(file, w, &error)) return true;
    app.Status.LastErrorText = error;
    app.Ui.MessageBox("Settings writing aborted in the file : " + file, kTitle, MsgIcon::Critical,
                      MsgButtons::Ok, MsgAnswer::Ok);
    return false;
}

bool WriteStartFileTask(AppContext& app, int sectionNumber, int task) {
    const std::string& file = app.Settings.StartFile;
    std::string error;
    try {
        const Task& t = app.Tasks[task];
        const std::string sec = TaskSection(sectionNumber);
        std::vector<ProfileWrite> w;
        auto put = [&](const std::string& key, const std::string& value) {
            w.push_back({sec, key, value, false});
        };
        w.push_back({kPelkor, "Task", Num(app.Settings.TaskCount), false});
        put("Settings", Num(t.Settings));
        put("Disabled", Num(t.Disabled));
        put("Comments", t.Comments);
        put("LineCount", HeadlineKeyValue(t.LineCount, t.LineCountText));
        put("TimeStamp", HeadlineKeyValue(t.TimeStamp, t.TimeStampText));
        put("MissValues", HeadlineKeyValue(t.MissValues, t.MissValuesText));
        put("TaskNumber", HeadlineKeyValue(t.TaskNumber, t.TaskNumberText));
        put("IntervalUnit", Num(t.IntervalUnit));
        put("ReadInterval", Num(t.ReadInterval));
        put("ReadHour", GeneralDateText(t.ReadHour));
        put("HeadLines", Num(t.HeadLines));
        if (HasOwnStation(t)) {
            put("SBus", Num(t.SBus));
            put("Auto", Num(t.Auto));
            put("IPAddress", t.IPAddress);
        }
        put("Data", t.Data);
        put("DataHead", t.DataHead);
        put("DataFile", t.DataFile);
        put("DataSheet", t.DataSheet);
        put("DataCell", t.DataCell);
        if (ContainsNoCase(t.FileType, "None")) {
            put("FileType", t.FileType);
        } else {
            put("OutFolder", t.OutFolder);
            put("FileName", t.FileName);
            put("FileIndex", Num(t.FileIndex));
            put("FileType", t.FileType);
            put("OutSheet", t.OutSheet);
            put("StartCell", t.StartCell);
            put("Orientation", Num(t.Orientation));
            put("Overwrite", Num(t.Overwrite));
            put("FileNew", Num(t.FileNew));
            put("FormatUsed", Num(t.FormatUsed));
            put("FormatTime", t.FormatTime);
        }
        if (WriteProfileStrings(file, w, &error)) return true;
    } catch (const std::exception& e) {
        error = e.what();
    }
    app.Status.LastErrorText = error;
    app.Ui.MessageBox("Data writing aborted in the file : " + file, kTitle, MsgIcon::Critical,
                      MsgButtons::Ok, MsgAnswer::Ok);
    return false;
}

bool SaveConnectionParameters(AppContext& app, const std::string& file,
                              const std::function<void(int16_t)>& setCurrentStation) {
    AppSettings& s = app.Settings;
    std::string description;
    try {
        ProfileDocument doc;
        std::string error;
        if (!LoadProfileFile(file, doc, error)) throw BadValue(error);
        StartFileValues v(doc);
        s.Station = v.Number16(kGoOnline, "Station");
        s.AutoStation = v.Number16(kGoOnline, "AutoStation");
        s.IPAddress = v.Text(kGoOnline, "IPAddress");
        if (setCurrentStation) setCurrentStation(s.Station);
        std::vector<ProfileWrite> w = {
            {kConnection, "Station", Num(s.Station), false},
            {kConnection, "AutoStation", Num(s.AutoStation), false},
            {kConnection, "IPAddress", s.IPAddress, false},
        };
        if (WriteProfileStrings(file, w, &error)) return true;
        description = error;
    } catch (const std::exception& e) {
        description = e.what();
    }
    LogEvent(app, 2, "SaveConnectionParameters Error : " + s.StartFile + " - " + description);
    app.Ui.MessageBox("SaveConnectionParameters function error : " + description, kTitle,
                      MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
    app.Status.LastErrorText = description;
    return false;
}

} // namespace pelkor
