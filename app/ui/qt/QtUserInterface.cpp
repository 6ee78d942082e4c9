#include "ui/qt/QtUserInterface.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QThread>
#include <algorithm>

#include "application/IdleWork.h"
#include "ui/qt/IoWorker.h"
#include "ui/qt/dialogs/MainWindow.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"

namespace pelkor {

QString ToQt(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

namespace {
// A posted event wakes the window's thread out of its wait for events.
void WakeGuiThread() {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] {}, Qt::QueuedConnection);
}
} // namespace

QtUserInterface::QtUserInterface(UserInterface* messages)
    : messages_(messages), worker_(std::make_unique<IoWorker>(WakeGuiThread)) {}

QtUserInterface::~QtUserInterface() = default;

MsgAnswer QtUserInterface::MessageBox(const std::string& text, const std::string& title,
                                      MsgIcon icon, MsgButtons buttons, MsgAnswer defaultAnswer) {
    if (messages_) return messages_->MessageBox(text, title, icon, buttons, defaultAnswer);
    using B = QMessageBox::StandardButton;
    struct Pair {
        MsgAnswer answer;
        B button;
    };
    static const Pair pairs[] = {
        {MsgAnswer::Ok, QMessageBox::Ok},        {MsgAnswer::Cancel, QMessageBox::Cancel},
        {MsgAnswer::Yes, QMessageBox::Yes},      {MsgAnswer::No, QMessageBox::No},
        {MsgAnswer::Retry, QMessageBox::Retry},  {MsgAnswer::Abort, QMessageBox::Abort},
        {MsgAnswer::Ignore, QMessageBox::Ignore}};
    QMessageBox::StandardButtons set;
    switch (buttons) {
    case MsgButtons::Ok:
        set = QMessageBox::Ok;
        break;
    case MsgButtons::OkCancel:
        set = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MsgButtons::YesNo:
        set = QMessageBox::Yes | QMessageBox::No;
        break;
    case MsgButtons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case MsgButtons::RetryCancel:
        set = QMessageBox::Retry | QMessageBox::Cancel;
        break;
    case MsgButtons::AbortRetryIgnore:
        set = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        break;
    }
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::Critical:
        qicon = QMessageBox::Critical;
        break;
    case MsgIcon::Question:
        qicon = QMessageBox::Question;
        break;
    case MsgIcon::Exclamation:
        qicon = QMessageBox::Warning;
        break;
    case MsgIcon::Information:
        qicon = QMessageBox::Information;
        break;
    case MsgIcon::None:
        break;
    }
    QWidget* parent = QApplication::activeWindow();
    if (!parent && window_ && window_->isVisible()) parent = window_;
    QMessageBox box(qicon, QString::fromStdString(title), ToQt(text), set, parent);
    for (const Pair& p : pairs)
        if (p.answer == defaultAnswer && (set & p.button)) box.setDefaultButton(p.button);
    // A busy cursor must not hide that the program waits for an answer.
    const bool busy = busyCursor_;
    if (busy) QApplication::restoreOverrideCursor();
    const int chosen = box.exec();
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    for (const Pair& p : pairs)
        if (chosen == p.button) return p.answer;
    // Closed with Escape or the close box: the box's cancel-like answer.
    if (set & QMessageBox::Cancel) return MsgAnswer::Cancel;
    if (set & QMessageBox::No) return MsgAnswer::No;
    return defaultAnswer;
}

void QtUserInterface::SetCaption(const std::string& text) {
    if (window_) window_->setWindowTitle(QString::fromStdString(text));
}
void QtUserInterface::SetStatusLine(const std::string& text) {
    if (window_) window_->SetStatusLine(ToQt(text));
}
void QtUserInterface::SetStatusBarPanel(int panel, const std::string& text) {
    if (window_) window_->SetStatusBarPanel(panel, ToQt(text));
}
void QtUserInterface::SetConnectionFrame(const std::string& caption, UiColour colour) {
    if (window_) window_->SetConnectionFrame(ToQt(caption), colour);
}
void QtUserInterface::SetTaskLabel(const std::string& text) {
    if (window_) window_->SetTaskLabel(ToQt(text));
}
void QtUserInterface::SetNextLabel(const std::string& text) {
    if (window_) window_->SetNextLabel(ToQt(text));
}
void QtUserInterface::SetCounterLabel(const std::string& text) {
    if (window_) window_->SetCounterLabel(ToQt(text));
}
void QtUserInterface::SetConnectButton(const std::string& caption, bool enabled,
                                       bool menuStartEnabled, bool menuStopEnabled) {
    if (window_)
        window_->SetConnectButton(ToQt(caption), enabled, menuStartEnabled, menuStopEnabled);
}
void QtUserInterface::SetMenusEnabled(bool program, bool edit, bool start) {
    if (window_) window_->SetMenusEnabled(program, edit, start);
}
void QtUserInterface::ShowProgress(bool visible) {
    if (window_) window_->ShowProgress(visible);
}
void QtUserInterface::SetProgress(int value, int maximum) {
    if (window_) window_->SetProgress(value, maximum);
}
void QtUserInterface::ClearReadLog() {
    if (window_) window_->ClearReadLog();
}
void QtUserInterface::AppendReadLog(const std::string& text) {
    if (window_) window_->AppendReadLog(ToQt(text));
}
void QtUserInterface::TaskEditorShowNextRead(int task) {
    if (window_)
        if (TaskEditorWindow* e = window_->Editor()) e->ShowNextRead(task);
}
void QtUserInterface::TaskEditorShowDataRead(int task) {
    if (window_)
        if (TaskEditorWindow* e = window_->Editor()) e->ShowDataRead(task);
}

void QtUserInterface::SetBusyCursor(bool busy) {
    if (busy == busyCursor_) return;
    busyCursor_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtUserInterface::Beep() {
    QApplication::beep();
}

void QtUserInterface::ProcessEvents() {
    QCoreApplication::processEvents();
    if (idle_) idle_->Run(0);
}

void QtUserInterface::ExitProgram(int status) {
    exitStatus_ = status;
    if (window_) window_->EndProgram(status);
}

void QtUserInterface::RunBlocking(const std::function<void()>& call) {
    if (!qApp || QThread::currentThread() != qApp->thread()) {
        call();
        return;
    }
    // The call object lives on this frame until the worker is done with it.
    const std::shared_ptr<IoWorker::Job> job = worker_->Submit(call);
    ++inFlight_;
    // processEvents rather than a local event loop: an exit of the
    // application must not cut the wait short while the call still runs.
    for (;;) {
        if (worker_->Finished(job)) break;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    --inFlight_;
}

void EventLoopClock::Sleep(int milliseconds) {
    if (!qApp || QThread::currentThread() != qApp->thread()) {
        system_.Sleep(milliseconds);
        return;
    }
    QDeadlineTimer deadline(milliseconds);
    // Bounded: one round per event at most, and the deadline ends it.
    for (int round = 0; round < 100000 && !deadline.hasExpired(); ++round) {
        QCoreApplication::processEvents(
            QEventLoop::AllEvents, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        if (!deadline.hasExpired())
            QThread::msleep(
                static_cast<unsigned long>(std::min<qint64>(10, deadline.remainingTime())));
    }
}

} // namespace pelkor
