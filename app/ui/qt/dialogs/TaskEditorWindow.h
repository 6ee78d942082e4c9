#pragma once
// frmData: the task editor. One instance at a time, opened from "&Tasks..."
// without blocking the main window; readings go on while it is open.

#include <QWidget>

namespace pelkor {

class PelkorApp;

class TaskEditorWindow : public QWidget {
    Q_OBJECT
public:
    explicit TaskEditorWindow(PelkorApp& app, QWidget* parent = nullptr);

    // Called from the acquisition loop through the user-interface port.
    void ShowNextRead(int task);
    void ShowDataRead(int task);

private:
    PelkorApp& app_;
};

}  // namespace pelkor
