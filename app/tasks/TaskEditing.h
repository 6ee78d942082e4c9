#pragma once
// What the task editor does to the task table, without its window: the
// controls as plain values (TaskForm), storing them into a task with the
// checks a user sees, creating and removing tasks.

#include <cstdint>
#include <string>

#include "core/AppContext.h"

namespace pelkor {

// The rest of the program as the task editor needs it: the start file, the
// resource lists, the stations and the plan. The application object provides
// it; tests fake it.
class TaskEditorServices {
public:
    virtual ~TaskEditorServices() = default;
    // Task `task` into its own section of the start file.
    virtual bool SaveTask(int task) = 0;
    // Section `section` becomes task `task` alone: emptied, then written with
    // every key the task has (the keys a save leaves out included).
    virtual bool MoveTaskSection(int section, int task) = 0;
    // Writes the task count, then removes section "Task<section>".
    virtual bool ClearTaskSection(int section) = 0;
    virtual bool ReloadStartFile() = 0;
    // Reloads (from the address file) and parses the task's resource list.
    virtual bool SetResources(int task) = 0;
    virtual void SearchAllStation(int task, int16_t station) = 0;
    virtual void SetFirstReading(int task) = 0;
    virtual void SearchNextTaskToRead() = 0;
};

// The editor's controls as values. Texts hold what the boxes show.
struct TaskForm {
    bool Enabled = true;         // ckbTask
    std::string Comments;        // txbTaskComment
    bool UseCommon = true;       // ckbPG5
    std::string IPAddress, SBus; // txbIP, txbSBus
    bool Auto = false;           // ckbAuto
    std::string Interval;        // txbReadInterval
    int Unit = 0;                // cmbIntervalUnit
    std::string ReadHour;        // txbReadHour
    bool LineCount = false, TimeStamp = false, MissValues = false, TaskNumber = false,
         HeadLines = false;
    std::string Data, DataFile, DataSheet, DataCell; // txbData, txbDataFile, txbPage, txbCells
    bool UseFile = false;                            // ckbFile
    // The task has no output file ("None" in its FileType): the output
    // controls are empty and disabled.
    bool NoOutput = false;
    int FileType = -1;               // optFileType: 0 CSV, 1 Excel, -1 none selected
    std::string Folder, FileName;    // txbFolder, txbFileName
    bool Indexed = false;            // ckbIndexed
    int FileNew = -1;                // cmbNewFile, -1 no selection
    bool FormatUsed = false;         // ckbFormatTime
    std::string FormatTime;          // txbFormatTime
    int Orientation = 0;             // optOrient
    std::string OutSheet, StartCell; // txbOutPage, txbCellStart
    bool Overwrite = false;          // ckbOveride
};

// The controls as the editor shows task `task`.
TaskForm FormFromTask(const Task& task);

// True when FileType names no output file ("None", any case).
bool HasNoOutput(const Task& task);

// The station a task's list starts from: its own SBus unless it uses the
// common settings.
int16_t TaskDefaultStation(const AppContext& app, int task);

// "Save": checks the form, copies it into task n, writes the task into the
// start file (unless it is locked) and plans it again. The form gets the
// normalised start cell, resource list and cells back. An enabled task with
// failed checks asks "... Do you want to continue ?"; quiet leaves out the
// missing-resources check. badTime is set when the start time was not a time
// (the focus goes to that box).
bool StoreTask(AppContext& app, TaskEditorServices& services, int n, TaskForm& form, bool quiet,
               bool* badTime = nullptr);

// "New": task TaskCount + 1 with the defaults, stored quietly; EditTask
// shows it. 0 when the table is full (message shown). stored tells whether
// the quiet store went through.
int NewTask(AppContext& app, TaskEditorServices& services, bool& stored);

// "Delete": asks, then removes task n; later tasks move down by one. False
// when refused or cancelled. EditTask stays in range.
bool RemoveTask(AppContext& app, TaskEditorServices& services, int n);

// "Read Addr.": task n's list and head line from address file `file`, with
// the sheet and cells as typed (kept either way). Without a file, or when it
// gives no address, shows "No Address specified !" and puts the list back.
bool ReadAddressFile(AppContext& app, TaskEditorServices& services, int n, const std::string& file,
                     const std::string& sheet, const std::string& cells);

// The output folder "Browse ..." leaves in the box: a new choice that is a
// bare name, not a path, stands for the program's folder.
std::string BrowsedFolder(const AppContext& app, const std::string& picked,
                          const std::string& shown);

} // namespace pelkor
