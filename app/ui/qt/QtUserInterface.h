#pragma once
// The user-interface port of a windowed run: message boxes are QMessageBox,
// the main window's controls are the frmPelkor widgets, "let pending events
// run" is the Qt event loop (which also serves the DDE socket), and blocking
// library calls run on the I/O thread while events go on.

#include <QString>
#include <memory>

#include "core/Clock.h"
#include "core/UserInterface.h"

class QWidget;

namespace pelkor {

class IdleWork;
class IoWorker;
class MainWindow;

class QtUserInterface final : public UserInterface {
public:
    // messages: answers the message boxes instead of showing them (tests).
    explicit QtUserInterface(UserInterface* messages = nullptr);
    ~QtUserInterface() override;

    void SetMainWindow(MainWindow* window) { window_ = window; }
    MainWindow* Window() const { return window_; }
    void SetIdleWork(IdleWork* idle) { idle_ = idle; }
    // Library calls running or waiting on the I/O thread.
    int CallsInFlight() const { return inFlight_; }
    // Exit status asked for by ExitProgram; -1 while none was.
    int RequestedExit() const { return exitStatus_; }

    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer defaultAnswer) override;
    void SetCaption(const std::string& text) override;
    void SetStatusLine(const std::string& text) override;
    void SetStatusBarPanel(int panel, const std::string& text) override;
    void SetConnectionFrame(const std::string& caption, UiColour colour) override;
    void SetTaskLabel(const std::string& text) override;
    void SetNextLabel(const std::string& text) override;
    void SetCounterLabel(const std::string& text) override;
    void SetConnectButton(const std::string& caption, bool enabled, bool menuStartEnabled,
                          bool menuStopEnabled) override;
    void SetMenusEnabled(bool program, bool edit, bool start) override;
    void ShowProgress(bool visible) override;
    void SetProgress(int value, int maximum) override;
    void ClearReadLog() override;
    void AppendReadLog(const std::string& text) override;
    void TaskEditorShowNextRead(int task) override;
    void TaskEditorShowDataRead(int task) override;
    void SetBusyCursor(bool busy) override;
    void Beep() override;
    void ProcessEvents() override;
    void ExitProgram(int status) override;
    void RunBlocking(const std::function<void()>& call) override;

private:
    MainWindow* window_ = nullptr; // cleared by the window when it goes
    UserInterface* messages_ = nullptr;
    IdleWork* idle_ = nullptr;
    int exitStatus_ = -1;
    std::unique_ptr<IoWorker> worker_;
    int inFlight_ = 0;
    bool busyCursor_ = false;
};

// The machine's clock whose waits keep the window's events running.
class EventLoopClock final : public Clock {
public:
    Date Now() override { return system_.Now(); }
    void Sleep(int milliseconds) override;

private:
    SystemClock system_;
};

// CR LF and lone CR as the toolkit's line breaks.
QString ToQt(const std::string& text);

} // namespace pelkor
