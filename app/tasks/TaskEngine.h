#pragma once
// The task engine: the scheduler that decides when each task is read, the
// reader that performs one acquisition, and the end of a single-shot job.
//
// One object per run, owned by the application object next to the
// connection manager it talks to (through PcdLink); the DDE service and the
// views follow the readings as ReadingDone observers. Everything runs on the program's one thread;
// the event processing inside a pass may re-enter, which ReadingActive and ManualReading keep
// harmless.

#include <cstdint>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "tasks/PcdLink.h"
#include "tasks/ReadingEvents.h"

namespace pelkor {

class TaskEngine {
public:
    TaskEngine(AppContext& app, PcdLink& pcd);
    TaskEngine(const TaskEngine&) = delete;
    TaskEngine& operator=(const TaskEngine&) = delete;

    // Observers of every stored record, told in the order they were added;
    // not owned, removed before they die.
    void AddReadingObserver(ReadingObserver* observer);
    void RemoveReadingObserver(ReadingObserver* observer);
    // Pause after the last step of a reading so the progress bar can show
    // it; a run without a window has nothing to show and sets 0.
    void SetProgressPause(int ms) { progressPauseMs_ = ms; }

    // ---- scheduler -------------------------------------------------------
    // Period and NextRead of one task from the current time.
    void SetFirstReading(int task);
    // Chooses NextTask; found is set only when a due enabled task was found.
    void SearchNextTaskToRead(bool earliestOnly, bool& found);
    // One pass over the task table.
    void CheckDueTasks();
    // Reads one task now. force reads a disabled task too; onDemand (a
    // reading asked for by the user) stamps the record with the current time
    // instead of the planned one. False when nothing was read and stored.
    bool ReadPCDValues(int task, bool force, bool onDemand = false);
    // Reloads (from its workbook) and parses the resource list of a task.
    void SetResources(int task, bool& ok);

    // ---- reader ----------------------------------------------------------
    // One acquisition of a task. The connection manager's connect-failed
    // mark is checked before every entry.
    bool ReadTaskValues(int task);
    // The task's message: LastMessage, TaskError, the event log (code 2).
    void TaskMessage(int task, const std::string& text);
    // The connection frame after a reading of this task.
    void PCDConnectionStatus(int task);

    // ---- timer and the end of a run ---------------------------------------
    // The ConnectTimer: the application's event loop fires Tick() every
    // TimerInterval() milliseconds while TimerRunning().
    void StartTimer(int intervalMs);
    void StopTimer() { timerRunning_ = false; }
    bool TimerRunning() const { return timerRunning_; }
    int TimerInterval() const { return timerIntervalMs_; }
    void ConnectTimerTick();

    // A hidden single-shot job: one pass at once, the summary, then the end.
    void RunHiddenSingleShot();

    // Ends the program: "Stop the application." to the event log.
    void StopOk();
    // With a message: the "Single Shot failed" box first, then as StopOk,
    // with a non-zero exit status.
    void StopIfError(const std::string& message);

    bool ExitRequested() const { return exitRequested_; }
    // The job's status: set when the program ends, or when a failed single
    // shot keeps its window open for the details (1).
    int ExitStatus() const { return exitStatus_; }

    int16_t ReconnectCounter() const { return reconnectCounter_; }

private:
    Task& task(int n) { return app_.Tasks[n]; }
    bool InPlan(int n) const { return n >= 1 && n <= app_.Settings.TaskCount && n <= MaxTasks; }
    int TaskCount() const;
    // Step 2.1 to 2.4 of the pass for task i; true when an enabled task fell due.
    bool VisitTask(int i, Date now);
    void ConnectionCheck(bool enabledTaskFellDue);
    void ShowNextTask();
    bool StationAccess(int t, std::size_t entry);
    bool ReadEntry(int t, std::size_t entry);
    // The steps of ReadTaskValues: reset for a reading, read every entry, log the outcome.
    void BeginReading(int t, int maximum);
    void ReadEntries(int t, std::size_t entries, int maximum, bool singleShot);
    void ReportReading(int t, bool singleShot);
    // `stamp`: the record's time stamp, which picks its period's file.
    bool StoreRecord(int t, Date stamp);
    void FailRead(int t);
    void ShowError(const std::string& routine, const std::string& what);
    void EndProgram(int status);
    void RaiseReadingDone(int t, Date stamp);
    void Pause(int rounds);

    AppContext& app_;
    PcdLink& pcd_;
    std::vector<ReadingObserver*> observers_;
    int progressPauseMs_ = 200;

    int16_t reconnectCounter_ = 0;
    // The instant of the current pass, used for every comparison in it.
    Date passNow_ = 0;
    bool inPass_ = false;
    // Station the reader addressed last in the current reading (-1 none).
    int lastStation_ = -1;
    bool messagesChanged_ = false;
    bool onDemand_ = false;
    std::string values_;
    // Why a task of a single-shot job was not read and stored; a later
    // reading that goes well empties LastErrorText, yet the job failed.
    std::string jobError_;

    // Tasks whose missing read interval has been logged (logged once).
    std::vector<bool> noIntervalLogged_ = std::vector<bool>(MaxTasks + 2, false);
    // A task without a period is never planned; says so once.
    bool Unplanned(int n);

    bool timerRunning_ = false;
    int timerIntervalMs_ = 250;
    bool exitRequested_ = false;
    int exitStatus_ = 0;
};

// The general date-and-time text of NextRead as the "Next Reading" label
// and the out-dated message show it.
std::string ShortDateLongTime(Date d);

} // namespace pelkor
