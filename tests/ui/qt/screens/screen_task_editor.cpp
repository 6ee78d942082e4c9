// The task editor and the resource editor in the states a user meets.
#include <QMessageBox>

#include "Screens.h"
#include "tasks/ResourceRows.h"
#include "tasks/Resources.h"
#include "ui/qt/dialogs/ResourceEditorWindow.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"

using namespace pelkor;
using namespace pelkor::screens;

namespace {

// One task: a list over two stations, a reading done, a CSV or Excel file.
ScreenApp& Prepare(ScreenApp& s, const std::string& fileType, int16_t mode = 1) {
    AppContext& app = s.app.App();
    app.Settings.StartMode = mode;
    app.Settings.StartFile = "/home/operator/plant/boiler.pelk";
    app.Settings.TaskCount = 3;
    app.Status.EditTask = 2;
    Task& t = app.Tasks[2];
    t.Comments = "Boiler house, temperatures and pumps";
    t.Data = "STN 2 R 100 [4],F 20 [3],STN 3 R 10,CLK";
    t.DataHead = "Temp <$I>,Pump <$A>,Pressure,PCD clock";
    t.FileType = fileType;
    t.OutFolder = "/home/operator/plant/data";
    t.FileName = "Boiler";
    t.IntervalUnit = 1;
    t.ReadInterval = 5;
    t.TimeStamp = 1;
    t.HeadLines = 1;
    t.OutSheet = "Readings";
    t.StartCell = "B2";
    t.NextRead = 45000.5 + 5.0 / 1440;
    t.RowsWritten = 42;
    t.LastValues = "15.03.2023 12:00:00;215;220;218;219;1;0;1;3;2023-03-15 12:00:00";
    ParseTaskResources(app, 2);
    return s;
}

} // namespace

PELKOR_SCREEN("task_editor_csv") {
    static ScreenApp s(env.Folder);
    auto w = std::make_unique<TaskEditorWindow>(Prepare(s, "CSV").app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    return w;
}

PELKOR_SCREEN("task_editor_excel") {
    static ScreenApp s(env.Folder);
    auto w = std::make_unique<TaskEditorWindow>(Prepare(s, "XLS").app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    return w;
}

PELKOR_SCREEN("task_editor_none") {
    static ScreenApp s(env.Folder);
    auto w = std::make_unique<TaskEditorWindow>(Prepare(s, "None").app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    return w;
}

PELKOR_SCREEN("task_editor_locked") {
    static ScreenApp s(env.Folder);
    auto w = std::make_unique<TaskEditorWindow>(Prepare(s, "CSV", 2).app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    return w;
}

PELKOR_SCREEN("task_editor_errors") {
    static ScreenApp s(env.Folder);
    Prepare(s, "CSV");
    s.app.App().Tasks[2].TaskError =
        "Read STN 3 R 10 failed : No response\r\nConnection to station 3 failed";
    s.app.App().Tasks[2].LastValues =
        "2023-03-15 12:00:00;215;220;218;219;1;0;1;;2023-03-15 12:00:00";
    auto w = std::make_unique<TaskEditorWindow>(s.app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->show();
    w->ShowDataRead(2);
    return w;
}

PELKOR_SCREEN("resource_editor_stations") {
    static ScreenApp s(env.Folder);
    Prepare(s, "CSV");
    ResourceOptions o;
    o.TimeStamp = o.HeadLines = true;
    s.app.App().Tasks[2].TimeStampText = "Time";
    auto w = std::make_unique<ResourceEditorWindow>(s.app, 2, o);
    w->ShowRow(2);
    return w;
}

// Without PG5: the task's own station and IP address, no "Auto".
PELKOR_SCREEN("task_editor_own_station") {
    static ScreenApp s(env.Folder);
    Prepare(s, "CSV");
    AppContext& app = s.app.App();
    app.Status.PG5Available = 0;
    app.Tasks[2].Settings = 0;
    app.Tasks[2].SBus = 12;
    app.Tasks[2].IPAddress = "192.168.100.200";
    auto w = std::make_unique<TaskEditorWindow>(s.app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    return w;
}

PELKOR_SCREEN("task_editor_locked_saved") {
    static ScreenApp s(env.Folder);
    auto w = std::make_unique<TaskEditorWindow>(Prepare(s, "CSV", 2).app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->ToolbarClick("Save");
    return w;
}

PELKOR_SCREEN("task_editor_no_interval") {
    static ScreenApp s(env.Folder);
    Prepare(s, "CSV");
    s.app.App().Tasks[2].ReadInterval = 0;
    s.app.Engine().SetFirstReading(2);
    auto w = std::make_unique<TaskEditorWindow>(s.app);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    return w;
}

// The refusal of Apply, as the windowed run shows it.
PELKOR_SCREEN("resource_editor_refused_row") {
    auto box = std::make_unique<QMessageBox>(
        QMessageBox::Warning, "Pelkor",
        QString::fromStdString(ResourceRowsProblem({{"", "R 1", ""}, {"", "R 99999", "Level"}})),
        QMessageBox::Ok);
    return box;
}
