#include "ui/qt/dialogs/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "application/PelkorApp.h"
#include "application/StartInfo.h"
#include "dde/DdeServer.h"
#include "pcd/PcdConnection.h"
#include "ui/qt/QtUserInterface.h"
#include "ui/qt/dialogs/AboutWindow.h"
#include "ui/qt/dialogs/InfoWindow.h"
#include "ui/qt/dialogs/SettingsWindow.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"
#include "ui/qt/dialogs/TrendWindow.h"
#include "util/AppFolders.h"
#include "util/Shell.h"

namespace pelkor {

namespace {
// Design sizes, in pixels.
constexpr int FrameLeft = 8, FrameTop = 4, FrameWidth = 464, FrameHeight = 76;
constexpr int PaneTop = 106;
constexpr int DefaultHeight = 400;

QColor ColourOf(UiColour c) {
    switch (c) {
    case UiColour::Blue:
        return QColor(0x00, 0x00, 0xFF);
    case UiColour::Magenta:
        return QColor(0xFF, 0x00, 0xFF);
    case UiColour::Red:
        return QColor(0xFF, 0x00, 0x00);
    case UiColour::Default:
        break;
    }
    return QApplication::palette().color(QPalette::WindowText);
}

// A framed label: a screen reader reads the value as shown (a label's text is
// its name) and the frame's caption as its description.
QLabel* FramedLabel(QWidget* parent, const char* frameName, const char* caption,
                    const char* labelName, const QRect& geometry) {
    auto* frame = new QGroupBox(QString::fromLatin1(caption), parent);
    frame->setObjectName(QString::fromLatin1(frameName));
    frame->setGeometry(geometry);
    // Only the connection frame's own caption carries the state colour.
    QPalette plain = frame->palette();
    plain.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
    frame->setPalette(plain);
    auto* label = new QLabel(frame);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setAccessibleDescription(QString::fromLatin1(caption));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(6, 18, geometry.width() - 12, 22);
    return label;
}
} // namespace

// One operation of the program (a timer pass, a command, the load): a
// close or end asked for inside it waits until the outermost one is over.
class MainWindow::Operation {
public:
    explicit Operation(MainWindow& w) : w_(w) { ++w_.depth_; }
    ~Operation() {
        if (--w_.depth_ == 0) w_.AfterOperation();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    MainWindow& w_;
};

MainWindow::MainWindow(PelkorApp& app, QtUserInterface& ui, QWidget* parent)
    : QMainWindow(parent), app_(app), ui_(ui) {
    setObjectName("frmPelkor");
    setWindowTitle("Pelkor Application");
    BuildControls();
    BuildMenus();
    timer_ = new QTimer(this);
    timer_->setObjectName("ConnectTimer");
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, &MainWindow::OnTimer);
    // The application's idle work (the DDE service) is done from this event loop.
    ddeTimer_ = new QTimer(this);
    ddeTimer_->setInterval(20);
    connect(ddeTimer_, &QTimer::timeout, this, [this] { app_.Idle().Run(0); });
    resize(FrameLeft * 2 + FrameWidth, DefaultHeight);
}

MainWindow::~MainWindow() {
    if (ui_.Window() == this) ui_.SetMainWindow(nullptr);
}

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    central->setObjectName("frmPelkorClient");
    setCentralWidget(central);

    frmConnection_ = new QGroupBox("PCD connection", central);
    frmConnection_->setObjectName("frmConnection");
    frmConnection_->setGeometry(FrameLeft, FrameTop, FrameWidth, FrameHeight);
    QFont bold = frmConnection_->font();
    bold.setBold(true);
    frmConnection_->setFont(bold);

    lblTask_ = FramedLabel(frmConnection_, "Frame3", "Task", "lblTask", QRect(10, 20, 64, 48));
    lblNext_ =
        FramedLabel(frmConnection_, "Frame2", "Next Reading", "lblNext", QRect(80, 20, 196, 48));
    lblWrite_ =
        FramedLabel(frmConnection_, "Frame1", "Counter", "lblWrite", QRect(282, 20, 90, 48));
    lblTask_->setText("0");
    lblWrite_->setText("0");
    for (QGroupBox* f : frmConnection_->findChildren<QGroupBox*>()) {
        QFont normal = f->font();
        normal.setBold(false);
        f->setFont(normal);
    }

    cmdConnect_ = new QPushButton("Start", frmConnection_);
    cmdConnect_->setObjectName("cmdConnect");
    cmdConnect_->setGeometry(382, 30, 72, 30);
    QFont normal = cmdConnect_->font();
    normal.setBold(false);
    cmdConnect_->setFont(normal);
    connect(cmdConnect_, &QPushButton::clicked, this, &MainWindow::OnConnect);

    lblTextes_ = new QLabel(central);
    lblTextes_->setObjectName("lblTextes");
    lblTextes_->setAccessibleDescription("Status");
    lblTextes_->setGeometry(FrameLeft, FrameTop + FrameHeight + 4, FrameWidth, 20);

    txbRead_ = new QPlainTextEdit(central);
    txbRead_->setObjectName("txbRead");
    txbRead_->setAccessibleName("Last reading");
    txbRead_->setReadOnly(true);
    txbRead_->setGeometry(FrameLeft, PaneTop, FrameWidth - 5, 200);

    auto* bar = new QStatusBar(this);
    bar->setObjectName("StatusBar");
    setStatusBar(bar);
    panel_ = new QLabel(bar);
    panel_->setObjectName("StatusBarPanel1");
    panel_->setAccessibleDescription("Connection");
    bar->addWidget(panel_, 1);
    pgbRead_ = new QProgressBar(bar);
    pgbRead_->setObjectName("pgbRead");
    pgbRead_->setAccessibleName("Reading progress");
    pgbRead_->setFixedSize(160, 14);
    pgbRead_->setTextVisible(false);
    bar->addPermanentWidget(pgbRead_);
    pgbRead_->hide();
}

void MainWindow::BuildMenus() {
    auto item = [this](QMenu* menu, const char* name, const char* caption,
                       void (MainWindow::*slot)()) {
        QAction* a = menu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto top = [this](const char* name, const char* caption) {
        QMenu* m = menuBar()->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    menuBar()->setObjectName("MenuBar");
    QMenu* program = top("m_program", "&Program");
    mProgram_ = program->menuAction();
    mConnect_ = item(program, "m_connect", "&Start", &MainWindow::OnConnect);
    mDisconnect_ = item(program, "m_disconnect", "St&op", &MainWindow::OnConnect);
    mDisconnect_->setEnabled(false);
    program->addSeparator();
    mExit_ = program->addAction("E&xit");
    mExit_->setObjectName("m_exit");
    connect(mExit_, &QAction::triggered, this, [this] {
        closeByProgram_ = true;
        close();
        closeByProgram_ = false;
    });

    QMenu* edit = top("m_edit", "&Edit");
    mEdit_ = edit->menuAction();
    item(edit, "m_settings", "&Settings...", &MainWindow::OnSettings);
    edit->addSeparator();
    item(edit, "m_tasks", "&Tasks...", &MainWindow::OnTasks);
    QAction* trend = edit->addAction("T&rend...");
    trend->setObjectName("m_trend");
    connect(trend, &QAction::triggered, this, [this] { ShowTrendWindow(app_, this); });

    QMenu* help = top("m_help", "&Help");
    item(help, "m_contents", "&Contents ...", &MainWindow::OnContents);
    help->addSeparator();
    item(help, "m_about", "&About ...", &MainWindow::OnAbout);
}

bool MainWindow::Load(const std::string& commandText, const std::string& currentFolder) {
    bool started = false;
    {
        Operation op(*this);
        started = app_.Start(commandText, currentFolder);
        loaded_ = true;
        if (!started && !ended_) {
            ended_ = true;
            exitStatus_ = app_.ExitStatus();
        }
        if (started) SyncTimer();
    }
    if (ended_) return false;
    if (app_.Dde().Running()) ddeTimer_->start();
    return true;
}

bool MainWindow::ShouldShow() const {
    const AppSettings& s = app_.App().Settings;
    return !(s.SingleShot == 1 && s.Hidden);
}

// ---- the port's targets ---------------------------------------------------

void MainWindow::SetStatusLine(const QString& text) {
    lblTextes_->setText(text);
    lblTextes_->setToolTip(text);
}
void MainWindow::SetStatusBarPanel(int panel, const QString& text) {
    if (panel == ConnectionPanel) panel_->setText(text);
}
void MainWindow::SetConnectionFrame(const QString& caption, UiColour colour) {
    frmConnection_->setTitle(caption);
    QPalette p = frmConnection_->palette();
    p.setColor(QPalette::WindowText, ColourOf(colour));
    frmConnection_->setPalette(p);
}
void MainWindow::SetTaskLabel(const QString& text) {
    lblTask_->setText(text);
}
void MainWindow::SetNextLabel(const QString& text) {
    lblNext_->setText(text);
}
void MainWindow::SetCounterLabel(const QString& text) {
    lblWrite_->setText(text);
}
void MainWindow::SetConnectButton(const QString& caption, bool enabled, bool menuStart,
                                  bool menuStop) {
    cmdConnect_->setText(caption);
    cmdConnect_->setEnabled(enabled);
    mConnect_->setEnabled(menuStart);
    mDisconnect_->setEnabled(menuStop);
}
void MainWindow::SetMenusEnabled(bool program, bool edit, bool start) {
    mProgram_->setEnabled(program);
    mEdit_->setEnabled(edit);
    mConnect_->setEnabled(start);
}
void MainWindow::ShowProgress(bool visible) {
    pgbRead_->setVisible(visible);
}
void MainWindow::SetProgress(int value, int maximum) {
    pgbRead_->setMaximum(std::max(1, maximum));
    pgbRead_->setValue(std::clamp(value, 0, std::max(1, maximum)));
}
void MainWindow::ClearReadLog() {
    txbRead_->clear();
}
void MainWindow::AppendReadLog(const QString& text) {
    // Appending text as it comes: the reader sends pieces, not lines.
    QTextCursor c = txbRead_->textCursor();
    c.movePosition(QTextCursor::End);
    c.insertText(text);
    txbRead_->verticalScrollBar()->setValue(txbRead_->verticalScrollBar()->maximum());
}
TaskEditorWindow* MainWindow::Editor() const {
    return editor_.data();
}

// ---- commands -------------------------------------------------------------

void MainWindow::OnTimer() {
    // A tick that comes while the last one still waits on the line is
    // dropped, like a window timer's message while its handler runs.
    if (inTick_ || ended_ || closePending_ || endPending_) return;
    Operation op(*this);
    inTick_ = true;
    app_.Tick();
    inTick_ = false;
    SyncTimer();
}

void MainWindow::SyncTimer() {
    TaskEngine& e = app_.Engine();
    if (!e.TimerRunning() || ended_) {
        timer_->stop();
        return;
    }
    if (timer_->interval() != e.TimerInterval()) timer_->setInterval(e.TimerInterval());
    if (!timer_->isActive()) timer_->start();
}

void MainWindow::OnConnect() {
    if (ended_ || closePending_ || endPending_) return;
    Operation op(*this);
    RunStatus& st = app_.App().Status;
    if (st.Connected) {
        ShowStopping();
        st.AutoConnectActive = 0;
        app_.Connection().DisconnectOnPCD(0, 0);
        mExit_->setEnabled(true);
    } else {
        st.AutoConnectActive = 1;
        app_.Connection().OpenPcdConnection(true);
    }
}

void MainWindow::OnSettings() {
    Operation op(*this);
    SettingsWindow w(app_, this);
    w.exec();
}

void MainWindow::OnTasks() {
    if (!editor_) {
        // The editor keeps EditorOpen and deletes itself when closed.
        editor_ = new TaskEditorWindow(app_, this);
    }
    editor_->show();
    editor_->raise();
    editor_->activateWindow();
}

void MainWindow::OnAbout() {
    Operation op(*this);
    AboutWindow w(app_, this);
    w.exec();
}

void MainWindow::OnContents() {
    OpenHelpPage(app_, 1);
}

// ---- window events ----------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!activatedOnce_) {
        activatedOnce_ = true;
        Activate();
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) Activate();
}

void MainWindow::Activate() {
    if (isMinimized()) return;
    AppSettings& s = app_.App().Settings;
    if (s.ReadWindow) {
        txbRead_->show();
        LayoutPane();
    } else {
        txbRead_->hide();
        const int decoration = frameGeometry().height() - height();
        resize(width(), TwipsToPixels(CompactHeightTwips) - decoration);
    }
    if (s.SingleShot == 0 && s.Minimized) {
        s.Minimized = 0;
        showMinimized();
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    lblTextes_->resize(std::max(FrameWidth, width() - 2 * FrameLeft), lblTextes_->height());
    LayoutPane();
}

void MainWindow::LayoutPane() {
    if (!app_.App().Settings.ReadWindow || !txbRead_) return;
    const int windowH = frameGeometry().height() * 15;
    const int windowW = frameGeometry().width() * 15;
    const int top = txbRead_->y() * 15;
    const int frameW = frmConnection_->width() * 15;
    int h = txbRead_->height();
    if (windowH >= 3350) h = TwipsToPixels(windowH - (top + 1200));
    const int w = TwipsToPixels(windowW <= frameW + 285 ? frameW - 75 : windowW - 360);
    txbRead_->setGeometry(txbRead_->x(), txbRead_->y(), std::max(0, w), std::max(0, h));
}

// ---- the end ----------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    const auto reason = systemClose_      ? PelkorApp::CloseReason::System
                        : closeByProgram_ ? PelkorApp::CloseReason::Program
                                          : PelkorApp::CloseReason::User;
    event->ignore();
    if (closePending_ || endPending_) return; // already on its way
    if (app_.CloseRefused(reason)) return;
    if (depth_ > 0) {
        // Inside a pass or a command: the line is released as soon as the
        // running call is back; the rest once the operation has unwound.
        closePending_ = true;
        ShowStopping();
        app_.App().Status.AutoConnectActive = 0;
        app_.Connection().DisconnectOnPCD(0, 0);
        return;
    }
    app_.Close();
    Finish(app_.ExitStatus(), false);
    event->accept();
}

// A Stop or close that must wait for the exchange on the line says at once
// that it was taken, and cannot be given twice meanwhile.
void MainWindow::ShowStopping() {
    if (ui_.CallsInFlight() == 0) return;
    cmdConnect_->setEnabled(false);
    for (QAction* a : {mConnect_, mDisconnect_, mExit_})
        a->setEnabled(false);
    SetStatusLine("Stopping after the current exchange ...");
}

void MainWindow::SystemClose() {
    systemClose_ = true;
    close();
}

void MainWindow::EndProgram(int status) {
    if (ended_) return;
    exitStatus_ = status;
    if (depth_ > 0) {
        endPending_ = true;
        return;
    }
    Finish(status, true);
}

void MainWindow::AfterOperation() {
    if (endPending_) {
        endPending_ = false;
        Finish(exitStatus_, true);
    } else if (closePending_) {
        closePending_ = false;
        app_.Close();
        Finish(app_.ExitStatus(), true);
    }
}

void MainWindow::Finish(int status, bool closeWindow) {
    if (ended_) return;
    ended_ = true;
    exitStatus_ = status;
    timer_->stop();
    ddeTimer_->stop();
    // A job that ended itself leaves no service behind.
    if (app_.Dde().Running()) app_.Dde().StopDdeServer();
    if (editor_) editor_->close();
    if (closeWindow) close();
    emit ProgramEnded(status);
}

} // namespace pelkor
