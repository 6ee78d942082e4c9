#pragma once
// The user interface of a hidden run: nothing is shown and nothing waits.
// Every message box goes to standard error (title, icon word, text) and, via
// the hook, to the event log; it is answered with its default button.

#include <functional>
#include <iosfwd>
#include <string>

#include "core/UserInterface.h"

namespace pelkor {

class BatchUserInterface : public UserInterface {
public:
    BatchUserInterface(); // writes to std::cerr
    explicit BatchUserInterface(std::ostream& err);

    void SetMessageHook(MessageHook hook) override { hook_ = std::move(hook); }

    // Exit status asked for by ExitProgram; -1 while none was asked for.
    int RequestedExit() const { return exitStatus_; }
    bool ExitRequested() const { return exitStatus_ >= 0 || exitAsked_; }
    // Number of message boxes with the critical or exclamation icon so far
    // (a hidden run that met one did not go well).
    int ProblemCount() const { return problems_; }
    const std::string& LastStatusLine() const { return status_; }

    // Word written for an icon: "", "Error", "Question", "Warning", "Information".
    static const char* IconWord(MsgIcon icon);

    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer defaultAnswer) override;
    void SetCaption(const std::string&) override {}
    void SetStatusLine(const std::string& text) override { status_ = text; }
    void SetStatusBarPanel(int, const std::string&) override {}
    void SetConnectionFrame(const std::string&, UiColour) override {}
    void SetTaskLabel(const std::string&) override {}
    void SetNextLabel(const std::string&) override {}
    void SetCounterLabel(const std::string&) override {}
    void SetConnectButton(const std::string&, bool, bool, bool) override {}
    void SetMenusEnabled(bool, bool, bool) override {}
    void ShowProgress(bool) override {}
    void SetProgress(int, int) override {}
    void ClearReadLog() override {}
    void AppendReadLog(const std::string&) override {}
    void TaskEditorShowNextRead(int) override {}
    void TaskEditorShowDataRead(int) override {}
    void SetBusyCursor(bool) override {}
    void Beep() override {}
    void ProcessEvents() override {}
    void ExitProgram(int status) override;
    bool Unattended() const override { return true; }

private:
    std::ostream& err_;
    MessageHook hook_;
    std::string status_;
    int exitStatus_ = -1;
    bool exitAsked_ = false;
    int problems_ = 0;
};

} // namespace pelkor
