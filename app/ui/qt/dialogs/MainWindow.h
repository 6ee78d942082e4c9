#pragma once
// frmPelkor: the main window. Its load runs the start-up sequence, its
// ConnectTimer drives the scheduler, and it shows the connection state, the
// next task, the counter, the status line and the reading pane.
//
// Everything the program does runs on this window's thread. While a library
// call runs on the I/O thread the window keeps handling events; a command
// that arrives then (Start/Stop) runs once that call is back, and a close
// asked for meanwhile takes the connection down at once but ends the program
// only when the running operation has unwound, so no window a nested wait
// still uses is destroyed under it.

#include <QMainWindow>
#include <QPointer>
#include <string>

#include "core/UserInterface.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace pelkor {

class PelkorApp;
class QtUserInterface;
class TaskEditorWindow;

// 15 twips are one pixel.
constexpr int TwipsToPixels(int twips) {
    return twips / 15;
}
// Height of the window without the reading pane.
inline constexpr int CompactHeightTwips = 2895;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(PelkorApp& app, QtUserInterface& ui, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence. False when the program is to end at once (no
    // start file after the start info, a hidden single shot that has run).
    bool Load(const std::string& commandText, const std::string& currentFolder);
    // The window is shown unless the run is a hidden single shot.
    bool ShouldShow() const;

    // Targets of the user-interface port.
    void SetStatusLine(const QString& text);
    void SetStatusBarPanel(int panel, const QString& text);
    void SetConnectionFrame(const QString& caption, UiColour colour);
    void SetTaskLabel(const QString& text);
    void SetNextLabel(const QString& text);
    void SetCounterLabel(const QString& text);
    void SetConnectButton(const QString& caption, bool enabled, bool menuStart, bool menuStop);
    void SetMenusEnabled(bool program, bool edit, bool start);
    void ShowProgress(bool visible);
    void SetProgress(int value, int maximum);
    void ClearReadLog();
    void AppendReadLog(const QString& text);
    // The open task editor, if any.
    TaskEditorWindow* Editor() const;
    // The program ends (single-shot end, StopOk): no "Shutdown" check.
    void EndProgram(int status);

    // A close because the session or the system ends the program: never
    // refused by "Shutdown".
    void SystemClose();
    bool Ended() const { return ended_; }
    int ExitStatus() const { return exitStatus_; }
    // Nesting depth of the program's operations running now (0: idle).
    int OperationDepth() const { return depth_; }

signals:
    // The program has ended; the run's event loop ends with this status.
    void ProgramEnded(int status);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class Operation;
    void BuildControls();
    void BuildMenus();
    void OnTimer();
    void OnConnect();
    void OnSettings();
    void OnTasks();
    void OnAbout();
    void OnContents();
    void SyncTimer();
    void Activate();
    void LayoutPane();
    void AfterOperation();
    void ShowStopping();
    void Finish(int status, bool closeApp);

    PelkorApp& app_;
    QtUserInterface& ui_;
    QTimer* timer_ = nullptr;
    QTimer* ddeTimer_ = nullptr;
    QGroupBox* frmConnection_ = nullptr;
    QLabel* lblTask_ = nullptr;
    QLabel* lblNext_ = nullptr;
    QLabel* lblWrite_ = nullptr;
    QPushButton* cmdConnect_ = nullptr;
    QProgressBar* pgbRead_ = nullptr;
    QLabel* lblTextes_ = nullptr;
    QLabel* panel_ = nullptr;
    QPlainTextEdit* txbRead_ = nullptr;
    QAction* mProgram_ = nullptr;
    QAction* mEdit_ = nullptr;
    QAction* mConnect_ = nullptr;
    QAction* mDisconnect_ = nullptr;
    QAction* mExit_ = nullptr;
    QPointer<TaskEditorWindow> editor_;

    int depth_ = 0;
    bool inTick_ = false;
    bool loaded_ = false;
    bool activatedOnce_ = false;
    bool closeByProgram_ = false;
    bool systemClose_ = false;
    bool closePending_ = false; // a close accepted during an operation
    bool endPending_ = false;   // EndProgram during an operation
    bool ended_ = false;
    int exitStatus_ = 0;
};

} // namespace pelkor
