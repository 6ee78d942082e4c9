#pragma once
// The task editor's way into the application object: the start file, the
// resource lists, the plan and the connection, for the core's task editing
// and for "Read Now".

#include <string>

#include "tasks/TaskEditing.h"

namespace pelkor {

class PelkorApp;

class TaskEditorLink : public TaskEditorServices {
public:
    explicit TaskEditorLink(PelkorApp& app) : app_(app) {}

    bool SaveTask(int task) override;
    bool MoveTaskSection(int section, int task) override;
    bool ClearTaskSection(int section) override;
    bool ReloadStartFile() override;
    bool SetResources(int task) override;
    void SearchAllStation(int task, int16_t station) override;
    void SetFirstReading(int task) override;
    void SearchNextTaskToRead() override;

    // "Read Now" after the save question: reads task n once, opening a
    // connection for it when none is open and closing it again afterwards.
    // A connection failure leaves "Open Connection Error : ", "Change
    // Connection Error : " or "Set Station Error : " + the reason in the
    // task's TaskError and returns false without reading.
    enum class ReadResult { NoAddress, ConnectionError, Read, ReadFailed };
    ReadResult ReadNow(int task);

private:
    PelkorApp& app_;
};

} // namespace pelkor
