#include "tasks/TaskDefaults.h"

#include "log/LogEvents.h"
#include "tasks/Resources.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

void SetDefaultTaskParameters(AppContext& app, int task) {
    Task& t = app.Tasks[task]; // range error outside 0..MaxTasks
    t.Comments.clear();
    t.Data.clear();
    t.DataHead.clear();
    t.ResourceCount = 0;
    t.Settings = 1;
    t.IntervalUnit = 0;
    t.ReadInterval = 60;
    t.ReadHour = 0;
    if (task > 1) t.OutFolder = app.Tasks[task - 1].OutFolder;
    if (t.OutFolder.empty()) t.OutFolder = app.UserDataFolder;
    t.FileName = "PCD_Data";
    t.FileNew = 0;
    t.FileIndex = 1;
    t.HeadLines = 0;
    t.LineCount = 0;
    t.TimeStamp = 1;
    t.MissValues = 0;
    t.ReadMissing = 0;
    t.TaskNumber = 0;
    t.FileType.clear();
    t.OutSheet.clear();
    t.StartCell.clear();
    t.Orientation = 0;
    t.Overwrite = 0;
    t.DataFile.clear();
    t.DataCell.clear();
    t.FormatUsed = 0;
    t.FormatTime.clear();
    ClearResourceTable(t);
}

void SelectPg5Version(AppContext& app) {
    app.Status.PG5Available = 0;
    if (!app.Pg5) return;
    for (int v = 20; v >= 13; --v) {
        if (app.Pg5->ProgramFolderFound(v)) {
            app.Status.PG5Available = 1;
            app.Status.PG5Version = static_cast<int16_t>(v);
            return;
        }
    }
}

void DefaultParameters(AppContext& app, const std::function<void()>& resetCurrentStation) {
    AppSettings& s = app.Settings;
    s.LogUsed = 0;
    s.SingleShot = 0;
    s.Hidden = 0;
    s.Minimized = 0;
    SetLogFolder(s, app.UserDataFolder);
    app.Status.PG5Available = 1;
    s.Baudrate = 9600;
    s.COM = 1;
    if (resetCurrentStation) resetCurrentStation();
    app.Status.AutoConnectActive = 0;
    s.AutoConnect = 0;
    SetDefaultTaskParameters(app, app.Status.NextTask);
    SelectPg5Version(app);
}

} // namespace pelkor
