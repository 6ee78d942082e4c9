#pragma once
// A user interface for tests: records every call and answers message boxes
// from a script (queue), falling back to each box's default answer.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/UserInterface.h"

namespace pelkor {

struct ShownMessage {
    std::string Text;
    std::string Title;
    MsgIcon Icon = MsgIcon::None;
    MsgButtons Buttons = MsgButtons::Ok;
    MsgAnswer Default = MsgAnswer::Ok;
    MsgAnswer Answer = MsgAnswer::Ok;
};

class ScriptedUserInterface : public UserInterface {
public:
    // Answers for the next message boxes, in order.
    void QueueAnswer(MsgAnswer a) { answers_.push_back(a); }
    void QueueAnswers(std::initializer_list<MsgAnswer> as) { answers_.insert(answers_.end(), as); }
    // Called on every ProcessEvents (to simulate events arriving mid-operation).
    std::function<void()> OnProcessEvents;
    // Plays the batch interface's part for the start-up's decisions.
    bool UnattendedRun = false;
    bool Unattended() const override { return UnattendedRun; }

    const std::vector<ShownMessage>& Messages() const { return messages_; }
    const ShownMessage* LastMessage() const {
        return messages_.empty() ? nullptr : &messages_.back();
    }
    const std::vector<std::string>& StatusLines() const { return status_; }
    std::string LastStatusLine() const { return status_.empty() ? std::string() : status_.back(); }
    const std::string& ReadLog() const { return readLog_; }
    const std::string& Caption() const { return caption_; }
    const std::string& TaskLabel() const { return taskLabel_; }
    const std::string& NextLabel() const { return nextLabel_; }
    const std::string& CounterLabel() const { return counterLabel_; }
    const std::string& ConnectionCaption() const { return connCaption_; }
    UiColour ConnectionColour() const { return connColour_; }
    const std::string& ConnectButtonCaption() const { return connectCaption_; }
    bool ConnectButtonEnabled() const { return connectEnabled_; }
    bool MenuStartEnabled() const { return menuStart_; }
    bool MenuStopEnabled() const { return menuStop_; }
    bool ProgramMenuEnabled() const { return menuProgram_; }
    bool EditMenuEnabled() const { return menuEdit_; }
    bool StartMenuEnabled() const { return menuStartGroup_; }
    std::string StatusBarPanel(int panel) const {
        return panel >= 0 && panel < static_cast<int>(panels_.size()) ? panels_[panel]
                                                                      : std::string();
    }
    bool ProgressVisible() const { return progressVisible_; }
    int ProgressValue() const { return progressValue_; }
    int ProgressMaximum() const { return progressMax_; }
    const std::vector<int>& EditorNextReadRefreshes() const { return editorNext_; }
    const std::vector<int>& EditorDataReadRefreshes() const { return editorData_; }
    bool BusyCursor() const { return busy_; }
    int BeepCount() const { return beeps_; }
    int ProcessEventsCount() const { return processEvents_; }
    bool ExitRequested() const { return exitRequested_; }
    int ExitStatus() const { return exitStatus_; }
    void ClearMessages() { messages_.clear(); }

    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer defaultAnswer) override {
        MsgAnswer a = defaultAnswer;
        if (!answers_.empty()) {
            a = answers_.front();
            answers_.pop_front();
        }
        messages_.push_back({text, title, icon, buttons, defaultAnswer, a});
        return a;
    }
    void SetCaption(const std::string& text) override { caption_ = text; }
    void SetStatusLine(const std::string& text) override { status_.push_back(text); }
    void SetStatusBarPanel(int panel, const std::string& text) override {
        if (panel < 0) return;
        if (panel >= static_cast<int>(panels_.size())) panels_.resize(panel + 1);
        panels_[panel] = text;
    }
    void SetConnectionFrame(const std::string& caption, UiColour colour) override {
        connCaption_ = caption;
        connColour_ = colour;
    }
    void SetTaskLabel(const std::string& text) override { taskLabel_ = text; }
    void SetNextLabel(const std::string& text) override { nextLabel_ = text; }
    void SetCounterLabel(const std::string& text) override { counterLabel_ = text; }
    void SetConnectButton(const std::string& caption, bool enabled, bool menuStartEnabled,
                          bool menuStopEnabled) override {
        connectCaption_ = caption;
        connectEnabled_ = enabled;
        menuStart_ = menuStartEnabled;
        menuStop_ = menuStopEnabled;
    }
    void SetMenusEnabled(bool program, bool edit, bool start) override {
        menuProgram_ = program;
        menuEdit_ = edit;
        menuStartGroup_ = start;
    }
    void ShowProgress(bool visible) override { progressVisible_ = visible; }
    void SetProgress(int value, int maximum) override {
        progressValue_ = value;
        progressMax_ = maximum;
    }
    void ClearReadLog() override { readLog_.clear(); }
    void AppendReadLog(const std::string& text) override { readLog_ += text; }
    void TaskEditorShowNextRead(int task) override { editorNext_.push_back(task); }
    void TaskEditorShowDataRead(int task) override { editorData_.push_back(task); }
    void SetBusyCursor(bool busy) override { busy_ = busy; }
    void Beep() override { ++beeps_; }
    void ProcessEvents() override {
        ++processEvents_;
        if (OnProcessEvents) OnProcessEvents();
    }
    void ExitProgram(int status) override {
        exitRequested_ = true;
        exitStatus_ = status;
    }

private:
    std::deque<MsgAnswer> answers_;
    std::vector<ShownMessage> messages_;
    std::vector<std::string> status_;
    std::vector<std::string> panels_;
    std::string readLog_, caption_, taskLabel_, nextLabel_, counterLabel_, connCaption_,
        connectCaption_;
    UiColour connColour_ = UiColour::Default;
    bool connectEnabled_ = true, menuStart_ = true, menuStop_ = false;
    bool menuProgram_ = true, menuEdit_ = true, menuStartGroup_ = true;
    bool progressVisible_ = false;
    int progressValue_ = 0, progressMax_ = 0;
    std::vector<int> editorNext_, editorData_;
    bool busy_ = false;
    int beeps_ = 0, processEvents_ = 0;
    bool exitRequested_ = false;
    int exitStatus_ = 0;
};

} // namespace pelkor
