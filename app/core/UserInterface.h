#pragma once
// The one door through which non-window code reaches the user. The windows
// implement it; a hidden single-shot run uses BatchUserInterface; tests use a
// scripted implementation (tests/support). It is made of facets so a piece
// of code can take only the part it uses.

#include <functional>
#include <string>

namespace pelkor {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };
enum class UiColour { Default, Blue, Magenta, Red };

// Message boxes.
class Dialogs {
public:
    // Receives every message box shown where nobody sees it (for the event log).
    using MessageHook =
        std::function<void(MsgIcon icon, const std::string& title, const std::string& text)>;

    virtual ~Dialogs() = default;

    // A modal message box. Returns the button chosen; a non-interactive
    // implementation returns defaultAnswer.
    virtual MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                                 MsgButtons buttons, MsgAnswer defaultAnswer) = 0;
    virtual void Beep() = 0;
    // True when nobody watches this run (the batch interface): a start that
    // cannot be used then ends the program instead of waiting for a fix.
    virtual bool Unattended() const { return false; }
    // Only an unattended interface has boxes nobody sees; the others ignore it.
    virtual void SetMessageHook(MessageHook) {}
};

// The main window: labels, connection frame, buttons, progress, reading pane.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetStatusLine(const std::string& text) = 0;                // lblTextes
    virtual void SetStatusBarPanel(int panel, const std::string& text) = 0; // StatusBar
    virtual void SetConnectionFrame(const std::string& caption, UiColour colour) = 0;
    virtual void SetTaskLabel(const std::string& text) = 0;    // lblTask
    virtual void SetNextLabel(const std::string& text) = 0;    // lblNext
    virtual void SetCounterLabel(const std::string& text) = 0; // lblWrite
    virtual void SetConnectButton(const std::string& caption, bool enabled, bool menuStartEnabled,
                                  bool menuStopEnabled) = 0;
    virtual void SetMenusEnabled(bool program, bool edit, bool start) = 0;

    // Progress of a reading (pgbRead).
    virtual void ShowProgress(bool visible) = 0;
    virtual void SetProgress(int value, int maximum) = 0;

    // Reading pane (txbRead).
    virtual void ClearReadLog() = 0;
    virtual void AppendReadLog(const std::string& text) = 0;
};

// The task editor, when open: refresh its next-reading display or show the
// values just read for a task.
class EditorView {
public:
    virtual ~EditorView() = default;

    virtual void TaskEditorShowNextRead(int task) = 0;
    virtual void TaskEditorShowDataRead(int task) = 0;
};

class EventLoop {
public:
    virtual ~EventLoop() = default;

    virtual void SetBusyCursor(bool busy) = 0;
    // Let pending window events run (long operations call this between steps).
    virtual void ProcessEvents() = 0;
    // Runs one blocking library call (Pelsbus, PG5). A window runs it on an
    // I/O thread and keeps its events running until it returns; calls never
    // overlap, a call asked for while one runs waits for it. Without a
    // window the call runs right here.
    virtual void RunBlocking(const std::function<void()>& call) { call(); }
    // The program is to end with this exit status once control returns to
    // the event loop.
    virtual void ExitProgram(int status) = 0;
};

class UserInterface : public Dialogs, public MainView, public EditorView, public EventLoop {};

} // namespace pelkor
