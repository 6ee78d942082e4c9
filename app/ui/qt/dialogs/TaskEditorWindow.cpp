#include "ui/qt/dialogs/TaskEditorWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "application/PelkorApp.h"
#include "application/TaskEditorLink.h"
#include "output/ExcelWriter.h"
#include "tasks/Resources.h"
#include "tasks/TaskEngine.h"
#include "ui/qt/WidgetNames.h"
#include "ui/qt/dialogs/FolderPicker.h"
#include "ui/qt/dialogs/ResourceEditorWindow.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

QLabel* Caption(QWidget* parent, const char* name, const char* text, QWidget* buddy = nullptr) {
    auto* l = Named(new QLabel(QString::fromLatin1(text), parent), name);
    if (buddy) {
        l->setBuddy(buddy);
        buddy->setAccessibleName(QString::fromLatin1(text).remove(':').trimmed());
    }
    return l;
}

std::string Std(const QString& s) {
    return s.toStdString();
}

// The error box shows every message of the reading on one line.
QString OneLine(const std::string& text) {
    return Q(ReplaceAll(ReplaceAll(text, "\r\n", "  "), "\r", "  "));
}

// A task that is not planned has no next reading to show.
QString NextReadText(double next) {
    return next > 0 ? Q(ShortDateLongTime(next)) : QString();
}

} // namespace

TaskEditorWindow::TaskEditorWindow(PelkorApp& app, QWidget* parent)
    : QDialog(parent, Qt::Window), app_(app), link_(std::make_unique<TaskEditorLink>(app)) {
    setObjectName("frmData");
    setAttribute(Qt::WA_DeleteOnClose);
    BuildToolbar();
    QBoxLayout* taskLine = BuildTaskLine();
    BuildConnection();
    BuildRecords();
    BuildOutputFile();
    BuildAddresses();
    LayOut(taskLine);
    LoadFirstTask();
    ConnectChanges();
    ConnectCommands();
}

void TaskEditorWindow::BuildToolbar() {
    toolbar_ = Named(new QToolBar(this), "Toolbar1");
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto action = [this](const char* caption, const char* key, const char* tip) {
        QAction* a = toolbar_->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(key));
        a->setData(QString::fromLatin1(key));
        a->setToolTip(QString::fromLatin1(tip));
        if (QWidget* b = toolbar_->widgetForAction(a)) b->setObjectName(QString::fromLatin1(key));
        connect(a, &QAction::triggered, this, [this, a] { ToolbarClick(a->data().toString()); });
        return a;
    };
    actNew_ = action("New", "New", "New");
    actDelete_ = action("Delete", "Delete", "Delete");
    actSave_ = action("Save", "Save", "Save");
    toolbar_->addSeparator();
    actBack_ = action("Prev.", "Back", "Previouse");
    actForward_ = action("Next", "Forward", "Next");
    toolbar_->addSeparator();
    actExit_ = action("Exit", "Exit", "Exit");
}

QBoxLayout* TaskEditorWindow::BuildTaskLine() {
    lblTaskNum_ = Named(new QLabel("Task 1 of 1", this), "lblTaskNum");
    QFont bold = lblTaskNum_->font();
    bold.setBold(true);
    lblTaskNum_->setFont(bold);
    ckbTask_ = Named(new QCheckBox("Enabled", this), "ckbTask");
    txbTaskComment_ = Named(new QLineEdit(this), "txbTaskComment");
    auto* taskLine = new QHBoxLayout;
    taskLine->addWidget(lblTaskNum_);
    taskLine->addSpacing(12);
    taskLine->addWidget(ckbTask_);
    taskLine->addSpacing(12);
    taskLine->addWidget(Caption(this, "lblTask", "Description :", txbTaskComment_));
    taskLine->addWidget(txbTaskComment_, 1);
    return taskLine;
}

void TaskEditorWindow::BuildConnection() {
    frmConnection_ = Named(new QGroupBox("PG5 Connection", this), "frmConnection");
    ckbPG5_ = Named(new QCheckBox("Use Common Settings", frmConnection_), "ckbPG5");
    txbSBus_ = Named(new QLineEdit(frmConnection_), "txbSBus");
    txbIP_ = Named(new QLineEdit(frmConnection_), "txbIP");
    ckbAuto_ = Named(new QCheckBox("Auto", frmConnection_), "ckbAuto");
    lblSBus_ = Caption(frmConnection_, "lblSBus", "S-Bus Station:", txbSBus_);
    lblIP_ = Caption(frmConnection_, "lblIP", "IP Address:", txbIP_);
    txbSBus_->setMinimumWidth(fontMetrics().horizontalAdvance("00000") + 16);
    txbIP_->setMinimumWidth(fontMetrics().horizontalAdvance("192.168.100.200") + 16);
    auto* cl = new QHBoxLayout(frmConnection_);
    cl->addWidget(ckbPG5_);
    cl->addWidget(lblSBus_);
    cl->addWidget(txbSBus_);
    cl->addWidget(ckbAuto_);
    cl->addWidget(lblIP_);
    cl->addWidget(txbIP_, 1);
}

void TaskEditorWindow::BuildRecords() {
    fmeRecords_ = Named(new QGroupBox("Data Recording", this), "fmeRecords");
    txbReadInterval_ = Named(new QLineEdit(fmeRecords_), "txbReadInterval");
    cmbIntervalUnit_ = Named(new QComboBox(fmeRecords_), "cmbIntervalUnit");
    txbReadHour_ = Named(new QLineEdit(fmeRecords_), "txbReadHour");
    txbNext_ = Named(new QLineEdit(fmeRecords_), "txbNext");
    txbCounter_ = Named(new QLineEdit(fmeRecords_), "txbCounter");
    txbLastRead_ = Named(new QLineEdit(fmeRecords_), "txbLastRead");
    txbError_ = Named(new QLineEdit(fmeRecords_), "txbError");
    txbError_->setAccessibleName("Error");
    for (QLineEdit* e : {txbNext_, txbCounter_, txbLastRead_, txbError_})
        e->setReadOnly(true);
    cmdRead_ = Named(new QPushButton("Read Now", fmeRecords_), "cmdRead");
    cmdClear_ = Named(new QPushButton("Clear Data", fmeRecords_), "cmdClear");
    lblHour_ = Caption(fmeRecords_, "lblHour", "Start Time:", txbReadHour_);
    txbReadInterval_->setMaximumWidth(60);
    txbReadHour_->setMaximumWidth(90);
    auto* rl = new QGridLayout(fmeRecords_);
    rl->addWidget(Caption(fmeRecords_, "Label10", "Interval:", txbReadInterval_), 0, 0);
    rl->addWidget(txbReadInterval_, 0, 1);
    rl->addWidget(Caption(fmeRecords_, "Label2", "Unit:", cmbIntervalUnit_), 0, 2);
    rl->addWidget(cmbIntervalUnit_, 0, 3);
    rl->addWidget(lblHour_, 0, 4);
    rl->addWidget(txbReadHour_, 0, 5);
    rl->addWidget(Caption(fmeRecords_, "Label6", "Next Read :", txbNext_), 1, 0);
    rl->addWidget(txbNext_, 1, 1, 1, 3);
    rl->addWidget(Caption(fmeRecords_, "Label8", "Count :", txbCounter_), 1, 4);
    rl->addWidget(txbCounter_, 1, 5);
    rl->addWidget(Caption(fmeRecords_, "Label1", "Last Data :", txbLastRead_), 2, 0);
    rl->addWidget(txbLastRead_, 2, 1, 1, 5);
    rl->addWidget(txbError_, 3, 0, 1, 6);
    auto* readButtons = new QHBoxLayout;
    readButtons->addStretch(1);
    readButtons->addWidget(cmdRead_);
    readButtons->addWidget(cmdClear_);
    rl->addLayout(readButtons, 4, 0, 1, 6);
    rl->setRowStretch(5, 1);
    rl->setColumnStretch(3, 1);
}

void TaskEditorWindow::BuildOutputFile() {
    fmeOutputFile_ = Named(new QGroupBox("Output File", this), "fmeOutputFile");
    frmFileType_ = Named(new QFrame(fmeOutputFile_), "frmFileType");
    frmFileType_->setFrameShape(QFrame::NoFrame);
    optFileType_[0] = Named(new QRadioButton("CSV", frmFileType_), "optFileType_0");
    optFileType_[1] = Named(new QRadioButton("Excel", frmFileType_), "optFileType_1");
    fileTypeGroup_ = new QButtonGroup(this);
    fileTypeGroup_->addButton(optFileType_[0], 0);
    fileTypeGroup_->addButton(optFileType_[1], 1);
    auto* ftl = new QHBoxLayout(frmFileType_);
    ftl->setContentsMargins(0, 0, 0, 0);
    ftl->addWidget(Caption(frmFileType_, "Label3", "File Type :"));
    ftl->addWidget(optFileType_[0]);
    ftl->addWidget(optFileType_[1]);
    ftl->addStretch(1);
    txbFolder_ = Named(new QLineEdit(fmeOutputFile_), "txbFolder");
    cmdUserFile_ = Named(new QPushButton("Browse ...", fmeOutputFile_), "cmdUserFile");
    txbFileName_ = Named(new QLineEdit(fmeOutputFile_), "txbFileName");
    cmbNewFile_ = Named(new QComboBox(fmeOutputFile_), "cmbNewFile");
    lblNewFile_ = Caption(fmeOutputFile_, "lblNewFile", "New File :", cmbNewFile_);
    ckbIndexed_ = Named(new QCheckBox("Index with Date", fmeOutputFile_), "ckbIndexed");
    ckbFormatTime_ = Named(new QCheckBox("Used", fmeOutputFile_), "ckbFormatTime");
    txbFormatTime_ = Named(new QLineEdit(fmeOutputFile_), "txbFormatTime");
    frmExcel_ = Named(new QFrame(fmeOutputFile_), "frmExcel");
    frmExcel_->setFrameShape(QFrame::NoFrame);
    optOrient_[0] = Named(new QRadioButton("Rows", frmExcel_), "optOrient_0");
    optOrient_[1] = Named(new QRadioButton("Columns", frmExcel_), "optOrient_1");
    orientGroup_ = new QButtonGroup(this);
    orientGroup_->addButton(optOrient_[0], 0);
    orientGroup_->addButton(optOrient_[1], 1);
    lblExcel_ = Caption(fmeOutputFile_, "lblExcel", "Record in :");
    auto* exl = new QHBoxLayout(frmExcel_);
    exl->setContentsMargins(0, 0, 0, 0);
    exl->addWidget(optOrient_[0]);
    exl->addWidget(optOrient_[1]);
    exl->addStretch(1);
    txbOutPage_ = Named(new QLineEdit(fmeOutputFile_), "txbOutPage");
    txbCellStart_ = Named(new QLineEdit(fmeOutputFile_), "txbCellStart");
    lblOutPage_ = Caption(fmeOutputFile_, "lblOutPage", "Sheet :", txbOutPage_);
    lblCellStart_ = Caption(fmeOutputFile_, "lblCellStart", "Start Cell :", txbCellStart_);
    ckbOveride_ = Named(new QCheckBox("Overwrite", fmeOutputFile_), "ckbOveride");
    txbCellStart_->setMaximumWidth(70);
    LayOutOutputFile();
}

void TaskEditorWindow::LayOutOutputFile() {
    auto* ol = new QGridLayout(fmeOutputFile_);
    ol->addWidget(frmFileType_, 0, 0, 1, 4);
    ol->addWidget(Caption(fmeOutputFile_, "Label15", "Folder :", txbFolder_), 1, 0);
    ol->addWidget(txbFolder_, 1, 1, 1, 2);
    ol->addWidget(cmdUserFile_, 1, 3);
    ol->addWidget(Caption(fmeOutputFile_, "Label11", "File Name :", txbFileName_), 2, 0);
    ol->addWidget(txbFileName_, 2, 1, 1, 3);
    ol->addWidget(lblNewFile_, 3, 0);
    ol->addWidget(cmbNewFile_, 3, 1);
    ol->addWidget(ckbIndexed_, 3, 2, 1, 2);
    ol->addWidget(Caption(fmeOutputFile_, "Label12", "Format for Time Stamps"), 4, 0);
    ol->addWidget(ckbFormatTime_, 4, 1);
    ol->addWidget(Caption(fmeOutputFile_, "lblFormat", "Time Format :", txbFormatTime_), 5, 0);
    ol->addWidget(txbFormatTime_, 5, 1, 1, 3);
    ol->addWidget(lblExcel_, 6, 0);
    ol->addWidget(frmExcel_, 6, 1, 1, 2);
    ol->addWidget(ckbOveride_, 6, 3);
    ol->addWidget(lblOutPage_, 7, 0);
    ol->addWidget(txbOutPage_, 7, 1);
    ol->addWidget(lblCellStart_, 7, 2, Qt::AlignRight);
    ol->addWidget(txbCellStart_, 7, 3);
    ol->setColumnStretch(1, 1);
    ol->setRowStretch(8, 1);
    ckbFormatTime_->setAccessibleName("Format for Time Stamps");
}

void TaskEditorWindow::BuildAddresses() {
    frmDataValues_ = Named(new QGroupBox("Addresses and Headline", this), "frmDataValues");
    txbData_ = Named(new QLineEdit(frmDataValues_), "txbData");
    cmdEditAdd_ =
        Named(new QPushButton("Addresses and Headline ...", frmDataValues_), "cmdEditAdd");
    txbDataFile_ = Named(new QLineEdit(frmDataValues_), "txbDataFile");
    cmdBrowse_ = Named(new QPushButton("Browse ...", frmDataValues_), "cmdBrowse");
    ckbFile_ = Named(new QCheckBox("Used", frmDataValues_), "ckbFile");
    ckbFile_->setAccessibleName("Address file used");
    txbPage_ = Named(new QLineEdit(frmDataValues_), "txbPage");
    txbCells_ = Named(new QLineEdit(frmDataValues_), "txbCells");
    lblPage_ = Caption(frmDataValues_, "lblPage", "Sheet :", txbPage_);
    lblCells_ = Caption(frmDataValues_, "lblCells", "Cells :", txbCells_);
    cmdRefresh_ = Named(new QPushButton("Read  Addr.", frmDataValues_), "cmdRefresh");
    ckbHeadLine_ = Named(new QCheckBox("Insert Headline", frmDataValues_), "ckbHeadLine");
    ckbLineCnt_ = Named(new QCheckBox("Line Count", frmDataValues_), "ckbLineCnt");
    ckbAddTask_ = Named(new QCheckBox("Task Number", frmDataValues_), "ckbAddTask");
    ckbTimeStamp_ = Named(new QCheckBox("Time Stamp", frmDataValues_), "ckbTimeStamp");
    ckbMissValues_ =
        Named(new QCheckBox("Missing Values Counter", frmDataValues_), "ckbMissValues");
    txbData_->installEventFilter(this);
    frmDataValues_->installEventFilter(this);
    auto* dl = new QGridLayout(frmDataValues_);
    dl->addWidget(Caption(frmDataValues_, "Label7", "Addresses :", txbData_), 0, 0);
    dl->addWidget(txbData_, 0, 1, 1, 4);
    dl->addWidget(cmdEditAdd_, 0, 5);
    dl->addWidget(Caption(frmDataValues_, "Label4", "Addr. file :", txbDataFile_), 1, 0);
    dl->addWidget(txbDataFile_, 1, 1, 1, 3);
    dl->addWidget(cmdBrowse_, 1, 4);
    dl->addWidget(ckbFile_, 1, 5);
    dl->addWidget(lblPage_, 2, 0);
    dl->addWidget(txbPage_, 2, 1);
    dl->addWidget(lblCells_, 2, 2, Qt::AlignRight);
    dl->addWidget(txbCells_, 2, 3);
    dl->addWidget(cmdRefresh_, 2, 4);
    auto* opts = new QHBoxLayout;
    opts->addWidget(Caption(frmDataValues_, "Label5", "Options :"));
    for (QCheckBox* b : {ckbHeadLine_, ckbLineCnt_, ckbAddTask_, ckbTimeStamp_, ckbMissValues_})
        opts->addWidget(b);
    opts->addStretch(1);
    dl->addLayout(opts, 3, 0, 1, 6);
    dl->setColumnStretch(1, 1);
    dl->setColumnStretch(3, 1);
}

void TaskEditorWindow::LayOut(QBoxLayout* taskLine) {
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(frmConnection_);
    left->addWidget(fmeRecords_, 1);
    columns->addLayout(left, 1);
    columns->addWidget(fmeOutputFile_, 1);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 6);
    top->addWidget(toolbar_);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 0, 8, 0);
    body->addLayout(taskLine);
    body->addLayout(columns);
    body->addWidget(frmDataValues_);
    top->addLayout(body, 1);
    resize(900, 560);
}

void TaskEditorWindow::LoadFirstTask() {
    AppContext& ctx = app_.App();
    setWindowTitle(ctx.Settings.StartMode == 2 ? QString("Pelkor Locked Parameters File")
                                               : "Pelkor [" + Q(ctx.Settings.StartFile) + "]");
    setAccessibleName(windowTitle());
    // In a dialog Enter would press the first button from any text box.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);
    EnableEditing(ctx.Settings.StartMode != 2);
    SetErrorText("", false);
    cmbIntervalUnit_->addItems({"Seconds", "Minutes", "Hours", "Days"});
    cmbNewFile_->addItems({"Every Day", "Every Week", "Every Month", "Never"});
    ProbeExcel(ctx);
    if (ctx.Status.EditTask < 1 || ctx.Status.EditTask > ctx.Settings.TaskCount)
        ctx.Status.EditTask = 1;
    ShowTask();
}

void TaskEditorWindow::ConnectChanges() {
    // Check boxes follow `toggled`: the accessibility interface toggles
    // them without a click. MarkChanged ignores what loading sets.
    for (QLineEdit* e :
         {txbTaskComment_, txbIP_, txbSBus_, txbFolder_, txbFileName_, txbOutPage_, txbCellStart_,
          txbPage_, txbCells_, txbData_, txbDataFile_, txbReadHour_, txbFormatTime_})
        connect(e, &QLineEdit::textEdited, this, [this] { MarkChanged(); });
    for (QCheckBox* b : {ckbTask_, ckbAuto_, ckbIndexed_, ckbOveride_, ckbFormatTime_})
        connect(b, &QCheckBox::toggled, this, [this] { MarkChanged(); });
    connect(ckbPG5_, &QCheckBox::toggled, this, [this] {
        MarkChanged();
        UpdatePg5Visibility();
    });
    connect(ckbFile_, &QCheckBox::toggled, this, [this] {
        if (loading_) return;
        MarkChanged();
        UpdateAddressFileControls();
    });
    connect(fileTypeGroup_, &QButtonGroup::idClicked, this, [this] {
        MarkChanged();
        FileTypeUpdate();
    });
    connect(orientGroup_, &QButtonGroup::idClicked, this, [this] { MarkChanged(); });
    connect(txbReadInterval_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (LeadingNumber(Std(text)) != Current().ReadInterval) MarkChanged();
    });
    connect(cmbIntervalUnit_, &QComboBox::activated, this, [this](int index) {
        if (index != Current().IntervalUnit) MarkChanged();
        UpdateHourVisibility();
    });
    auto option = [this](QCheckBox* box, int16_t Task::*field) {
        connect(box, &QCheckBox::toggled, this, [this, field](bool on) {
            if (on != (Current().*field != 0)) MarkChanged();
        });
    };
    option(ckbLineCnt_, &Task::LineCount);
    option(ckbTimeStamp_, &Task::TimeStamp);
    option(ckbMissValues_, &Task::MissValues);
    option(ckbAddTask_, &Task::TaskNumber);
    option(ckbHeadLine_, &Task::HeadLines);
    connect(cmbNewFile_, &QComboBox::activated, this, [this](int index) {
        MarkChanged();
        ckbIndexed_->setHidden(index == 3);
    });
}

void TaskEditorWindow::ConnectCommands() {
    connect(cmdRead_, &QPushButton::clicked, this, [this] { ReadNow(); });
    connect(cmdClear_, &QPushButton::clicked, this, [this] {
        txbLastRead_->clear();
        SetErrorText("", false);
    });
    connect(cmdEditAdd_, &QPushButton::clicked, this, [this] { EditResources(); });
    connect(cmdRefresh_, &QPushButton::clicked, this, [this] { ReadAddressFile(); });
    connect(cmdBrowse_, &QPushButton::clicked, this, [this] { BrowseDataFile(); });
    connect(cmdUserFile_, &QPushButton::clicked, this, [this] { BrowseFolder(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

TaskEditorWindow::~TaskEditorWindow() {
    app_.App().Status.EditorOpen = 0;
}

QList<QWidget*> TaskEditorWindow::ExcelGroup() const {
    return {frmExcel_,   lblExcel_,     ckbOveride_,  lblOutPage_,
            txbOutPage_, lblCellStart_, txbCellStart_};
}

int TaskEditorWindow::N() const {
    return app_.App().Status.EditTask;
}
Task& TaskEditorWindow::Current() {
    return app_.App().Tasks[N()];
}

void TaskEditorWindow::ShowValues(const Task& t) {
    txbCounter_->setText(QString::number(t.RowsWritten));
    txbLastRead_->setText(Q(t.LastValues));
    // A long record is read from its start.
    txbLastRead_->setCursorPosition(0);
}

void TaskEditorWindow::SetErrorText(const std::string& text, bool red) {
    txbError_->setText(OneLine(text));
    txbError_->setCursorPosition(0);
    txbError_->setStyleSheet(red ? "color: red;" : "color: black;");
}

void TaskEditorWindow::EnableEditing(bool on) {
    editable_ = on;
    for (QWidget* w :
         {static_cast<QWidget*>(ckbTask_), static_cast<QWidget*>(txbTaskComment_),
          static_cast<QWidget*>(frmConnection_), static_cast<QWidget*>(fmeOutputFile_)})
        w->setEnabled(on);
    // Reading the task, and looking at its list in the resource editor, edit
    // nothing: they stay available with a locked start file.
    const QList<QWidget*> keep = {cmdRead_,    cmdClear_,    cmdEditAdd_, txbNext_,
                                  txbCounter_, txbLastRead_, txbError_};
    for (QGroupBox* frame : {frmDataValues_, fmeRecords_})
        for (QWidget* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!keep.contains(w)) w->setEnabled(on);
}

void TaskEditorWindow::UpdateOutputEnabled() {
    // The file-type buttons stay usable: they give a task without output
    // file ("None") one back.
    const bool output = !HasNoOutput(Current()) || fileTypeGroup_->checkedId() >= 0;
    for (QWidget* w : {static_cast<QWidget*>(txbFolder_), static_cast<QWidget*>(txbFileName_),
                       static_cast<QWidget*>(ckbIndexed_), static_cast<QWidget*>(cmdUserFile_),
                       static_cast<QWidget*>(cmbNewFile_), static_cast<QWidget*>(optOrient_[0]),
                       static_cast<QWidget*>(optOrient_[1]), static_cast<QWidget*>(txbOutPage_),
                       static_cast<QWidget*>(txbCellStart_)})
        w->setEnabled(output);
}

void TaskEditorWindow::UpdatePg5Visibility() {
    const bool pg5 = app_.App().Status.PG5Available != 0;
    // The built-in library reads a task's own station (and, over UDP, its
    // address) too, so those stay editable without PG5; Auto is PG5's alone.
    const bool own = !ckbPG5_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(lblIP_), static_cast<QWidget*>(lblSBus_),
                       static_cast<QWidget*>(txbIP_), static_cast<QWidget*>(txbSBus_)})
        w->setHidden(!own);
    ckbAuto_->setHidden(!own || !pg5);
}

void TaskEditorWindow::UpdateHourVisibility() {
    const bool days = cmbIntervalUnit_->currentIndex() == 3;
    txbReadHour_->setHidden(!days);
    lblHour_->setHidden(!days);
}

void TaskEditorWindow::UpdateToolbar() {
    actNew_->setEnabled(true);
    actDelete_->setEnabled(true);
    actSave_->setEnabled(true);
    actBack_->setEnabled(N() >= 2);
    actForward_->setEnabled(N() < app_.App().Settings.TaskCount);
}

void TaskEditorWindow::MarkChanged() {
    if (!loading_) changed_ = true;
}

void TaskEditorWindow::ApplyForm(const TaskForm& f) {
    ckbTask_->setChecked(f.Enabled);
    txbTaskComment_->setText(Q(f.Comments));
    ckbPG5_->setChecked(f.UseCommon);
    txbIP_->setText(Q(f.IPAddress));
    txbSBus_->setText(Q(f.SBus));
    ckbAuto_->setChecked(f.Auto);
    UpdatePg5Visibility();
    txbReadInterval_->setText(Q(f.Interval));
    cmbIntervalUnit_->setCurrentIndex(f.Unit >= 0 && f.Unit <= 3 ? f.Unit : -1);
    UpdateHourVisibility();
    txbReadHour_->setText(Q(f.ReadHour));
    ckbLineCnt_->setChecked(f.LineCount);
    ckbTimeStamp_->setChecked(f.TimeStamp);
    ckbMissValues_->setChecked(f.MissValues);
    ckbAddTask_->setChecked(f.TaskNumber);
    ckbHeadLine_->setChecked(f.HeadLines);
    txbDataFile_->setText(Q(f.DataFile));
    txbPage_->setText(Q(f.DataSheet));
    txbCells_->setText(Q(f.DataCell));
    ckbFile_->setChecked(f.UseFile);
    UpdateAddressFileControls();
    txbData_->setText(Q(f.Data));
}

void TaskEditorWindow::ShowTask() {
    loading_ = true;
    AppContext& ctx = app_.App();
    const int n = N();
    Task& t = Current();
    lblTaskNum_->setText(QString("Task %1 of %2").arg(n).arg(ctx.Settings.TaskCount));
    const TaskForm f = FormFromTask(t);
    ApplyForm(f);
    SetErrorText(t.TaskError, false);
    txbNext_->setText(NextReadText(t.NextRead));
    ShowValues(t);

    fileTypeGroup_->setExclusive(false);
    optFileType_[0]->setChecked(false);
    optFileType_[1]->setChecked(false);
    fileTypeGroup_->setExclusive(true);
    if (f.NoOutput) {
        cmbNewFile_->setCurrentIndex(-1);
        txbFolder_->clear();
        txbFileName_->clear();
        txbFormatTime_->clear();
        ckbIndexed_->setChecked(false);
        ckbFormatTime_->setChecked(false);
        // The sheet and start cell go with the Excel group: without an
        // output file they mean nothing.
        for (QWidget* w : ExcelGroup())
            w->hide();
        ckbOveride_->setChecked(t.Overwrite != 0);
        orientGroup_->button(f.Orientation)->setChecked(true);
        txbOutPage_->setText(Q(t.OutSheet));
        txbCellStart_->setText(Q(t.StartCell));
    } else {
        // The Excel group comes back for a task that has an output file.
        for (QWidget* w : ExcelGroup())
            w->show();
        optFileType_[f.FileType]->setChecked(true);
        txbFolder_->setText(Q(f.Folder));
        txbFileName_->setText(Q(f.FileName));
        ckbIndexed_->setChecked(f.Indexed);
        ckbFormatTime_->setChecked(f.FormatUsed);
        txbFormatTime_->setText(Q(f.FormatTime));
        FileTypeUpdate();
    }
    UpdateOutputEnabled();
    UpdateToolbar();
    changed_ = false;
    loading_ = false;
}

void TaskEditorWindow::FileTypeUpdate() {
    const Task& t = Current();
    ckbOveride_->setChecked(t.Overwrite != 0);
    orientGroup_->button(t.Orientation == 0 ? 0 : 1)->setChecked(true);
    txbOutPage_->setText(Q(t.OutSheet));
    txbCellStart_->setText(Q(t.StartCell));
    lblNewFile_->setEnabled(true);
    cmbNewFile_->setEnabled(true);
    cmbNewFile_->setCurrentIndex(t.FileNew >= 0 && t.FileNew <= 3 ? t.FileNew : -1);
    ckbIndexed_->setHidden(cmbNewFile_->currentIndex() == 3);
    if (!loading_) {
        for (QWidget* w : ExcelGroup())
            w->show();
        UpdateOutputEnabled();
    }
    const bool excel = optFileType_[1]->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(frmExcel_), static_cast<QWidget*>(lblExcel_),
                       static_cast<QWidget*>(ckbOveride_), static_cast<QWidget*>(optOrient_[0]),
                       static_cast<QWidget*>(optOrient_[1]), static_cast<QWidget*>(lblOutPage_),
                       static_cast<QWidget*>(txbOutPage_), static_cast<QWidget*>(lblCellStart_),
                       static_cast<QWidget*>(txbCellStart_)})
        w->setEnabled(excel);
    MarkChanged();
}

void TaskEditorWindow::UpdateAddressFileControls() {
    const bool file = ckbFile_->isChecked();
    txbData_->setReadOnly(file);
    for (QWidget* w : {static_cast<QWidget*>(txbDataFile_), static_cast<QWidget*>(lblPage_),
                       static_cast<QWidget*>(txbPage_), static_cast<QWidget*>(lblCells_),
                       static_cast<QWidget*>(txbCells_), static_cast<QWidget*>(cmdRefresh_),
                       static_cast<QWidget*>(cmdBrowse_)})
        w->setEnabled(file && editable_);
    txbData_->setReadOnly(file || !editable_);
    txbData_->setText(Q(Current().Data));
}

TaskForm TaskEditorWindow::ReadForm() const {
    TaskForm f;
    f.Enabled = ckbTask_->isChecked();
    f.Comments = Std(txbTaskComment_->text());
    f.UseCommon = ckbPG5_->isChecked();
    f.IPAddress = Std(txbIP_->text());
    f.SBus = Std(txbSBus_->text());
    f.Auto = ckbAuto_->isChecked();
    f.Interval = Std(txbReadInterval_->text());
    f.Unit = cmbIntervalUnit_->currentIndex();
    f.ReadHour = Std(txbReadHour_->text());
    f.LineCount = ckbLineCnt_->isChecked();
    f.TimeStamp = ckbTimeStamp_->isChecked();
    f.MissValues = ckbMissValues_->isChecked();
    f.TaskNumber = ckbAddTask_->isChecked();
    f.HeadLines = ckbHeadLine_->isChecked();
    f.Data = Std(txbData_->text());
    f.DataFile = Std(txbDataFile_->text());
    f.DataSheet = Std(txbPage_->text());
    f.DataCell = Std(txbCells_->text());
    f.UseFile = ckbFile_->isChecked();
    f.NoOutput = HasNoOutput(app_.App().Tasks[N()]);
    f.FileType = fileTypeGroup_->checkedId();
    f.Folder = Std(txbFolder_->text());
    f.FileName = Std(txbFileName_->text());
    f.Indexed = ckbIndexed_->isChecked();
    f.FileNew = cmbNewFile_->currentIndex();
    f.FormatUsed = ckbFormatTime_->isChecked();
    f.FormatTime = Std(txbFormatTime_->text());
    f.Orientation = optOrient_[0]->isChecked() ? 0 : 1;
    f.OutSheet = Std(txbOutPage_->text());
    f.StartCell = Std(txbCellStart_->text());
    f.Overwrite = ckbOveride_->isChecked();
    return f;
}

bool TaskEditorWindow::StoreTask(bool quiet) {
    TaskForm f = ReadForm();
    bool badTime = false;
    const bool ok = pelkor::StoreTask(app_.App(), *link_, N(), f, quiet, &badTime);
    if (badTime) txbReadHour_->setFocus();
    // The normalised texts, stored or not.
    txbCellStart_->setText(Q(f.StartCell));
    txbData_->setText(Q(f.Data));
    txbCells_->setText(Q(f.DataCell));
    if (ok) {
        changed_ = false;
        cmdRead_->setEnabled(true);
        txbNext_->setText(NextReadText(Current().NextRead));
        if (Current().ReadInterval <= 0) SetErrorText(Current().TaskError, true);
        ShowLockedNote();
    }
    return ok;
}

bool TaskEditorWindow::AskSaveTask() {
    if (!changed_) return true;
    changed_ = false;
    const MsgAnswer a = app_.App().Ui.MessageBox(
        "Do you want to save changes of the task " + std::to_string(N()), "Task changes",
        MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes);
    if (a != MsgAnswer::Yes || StoreTask(false)) return true;
    // Not stored: the edits are still there and still unsaved.
    changed_ = true;
    return false;
}

void TaskEditorWindow::ShowLockedNote() {
    if (app_.App().Settings.StartMode == 2)
        SetErrorText("Locked start file: changes last until Pelkor ends", false);
}

void TaskEditorWindow::reject() {
    close();
}

void TaskEditorWindow::ToolbarClick(const QString& key) {
    AppContext& ctx = app_.App();
    RunStatus& st = ctx.Status;
    if (key == "New") {
        if (!AskSaveTask()) return;
        bool stored = false;
        if (NewTask(ctx, *link_, stored) == 0) return;
        ShowTask();
        txbTaskComment_->setFocus();
        if (stored) cmdRead_->setEnabled(false);
        ShowLockedNote();
    } else if (key == "Delete") {
        if (!RemoveTask(ctx, *link_, N())) return;
        ShowTask();
        ShowLockedNote();
    } else if (key == "Save") {
        StoreTask(false);
    } else if (key == "Back") {
        if (!AskSaveTask()) return;
        if (st.EditTask > 1) {
            --st.EditTask;
            ShowTask();
        }
    } else if (key == "Forward") {
        if (!AskSaveTask()) return;
        if (st.EditTask < ctx.Settings.TaskCount) {
            ++st.EditTask;
            ShowTask();
        }
    } else if (key == "Exit") {
        close();
    }
}

void TaskEditorWindow::ShowNextRead(int task) {
    if (!isVisible() || task != N()) return;
    txbNext_->setText(NextReadText(Current().NextRead));
}

void TaskEditorWindow::ShowDataRead(int task) {
    if (!isVisible() || task != N()) return;
    const Task& t = Current();
    ShowValues(t);
    SetErrorText(t.TaskError, true);
}

void TaskEditorWindow::ReadNow() {
    SetErrorText("", txbError_->styleSheet().contains("red"));
    if (!AskSaveTask()) return;
    const int n = N();
    switch (link_->ReadNow(n)) {
    case TaskEditorLink::ReadResult::ConnectionError:
        SetErrorText(Current().TaskError, true);
        break;
    case TaskEditorLink::ReadResult::NoAddress:
        break;
    default:
        // The reading reports through ShowDataRead; a failed store does
        // not, so the outcome is shown here either way.
        if (N() == n) {
            const Task& t = Current();
            ShowValues(t);
            SetErrorText(t.TaskError, true);
        }
        break;
    }
}

void TaskEditorWindow::ReadAddressFile() {
    if (pelkor::ReadAddressFile(app_.App(), *link_, N(), Std(txbDataFile_->text()),
                                Std(txbPage_->text()), Std(txbCells_->text()))) {
        txbData_->setText(Q(Current().Data));
        txbCells_->setText(Q(Current().DataCell));
    } else {
        txbDataFile_->setFocus();
    }
}

void TaskEditorWindow::BrowseDataFile() {
    QFileDialog dialog(this, "Open Data file...");
    dialog.setNameFilter("Excel Files (*.xls)");
    dialog.setDefaultSuffix("xls");
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QString current = txbDataFile_->text();
    QString folder;
    if (current.contains(".xls", Qt::CaseInsensitive)) {
        dialog.selectFile(current);
    } else {
        folder = current;
    }
    if (!current.contains(".xls", Qt::CaseInsensitive) && folder.isEmpty())
        folder = QDir::currentPath();
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    txbDataFile_->setText(dialog.selectedFiles().first());
}

void TaskEditorWindow::BrowseFolder() {
    std::string folder = Std(txbFolder_->text());
    if (!PickFolder(app_.App(), this, folder)) return;
    // Only the box changes: the choice is part of the edit, kept by Save and
    // undone by "No".
    txbFolder_->setText(Q(BrowsedFolder(app_.App(), folder, Std(txbFolder_->text()))));
    MarkChanged();
}

void TaskEditorWindow::EditResources() {
    ResourceOptions o;
    o.LineCount = ckbLineCnt_->isChecked();
    o.TimeStamp = ckbTimeStamp_->isChecked();
    o.MissValues = ckbMissValues_->isChecked();
    o.TaskNumber = ckbAddTask_->isChecked();
    o.HeadLines = ckbHeadLine_->isChecked();
    ResourceEditorWindow editor(app_, N(), o, this);
    connect(&editor, &ResourceEditorWindow::Applied, this,
            [this](const ResourceOptions& a, const QString& data) {
                ckbLineCnt_->setChecked(a.LineCount);
                ckbTimeStamp_->setChecked(a.TimeStamp);
                ckbMissValues_->setChecked(a.MissValues);
                ckbAddTask_->setChecked(a.TaskNumber);
                ckbHeadLine_->setChecked(a.HeadLines);
                txbData_->setText(data);
                // Applied lists live in memory only until "Save": leaving the task
                // asks, so they are not lost unnoticed.
                MarkChanged();
            });
    editor.exec();
}

void TaskEditorWindow::closeEvent(QCloseEvent* event) {
    if (changed_) {
        changed_ = false;
        const MsgAnswer a =
            app_.App().Ui.MessageBox("Do you want to save settings changes", "Pelkor",
                                     MsgIcon::Question, MsgButtons::YesNoCancel, MsgAnswer::Yes);
        if (a == MsgAnswer::Cancel) {
            changed_ = true;
            event->ignore();
            return;
        }
        if (a == MsgAnswer::Yes) StoreTask(false);
    }
    app_.App().Status.EditorOpen = 0;
    event->accept();
}

void TaskEditorWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    app_.App().Status.EditorOpen = 1;
}

bool TaskEditorWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        AppContext& ctx = app_.App();
        ctx.Status.EditorOpen = 1;
        if (ctx.Status.EditTask > MaxTasks || ctx.Status.EditTask > ctx.Settings.TaskCount) {
            ctx.Status.EditTask = 1;
            ShowTask();
        }
    }
    return QDialog::event(e);
}

bool TaskEditorWindow::eventFilter(QObject* watched, QEvent* e) {
    if ((watched == txbData_ || watched == frmDataValues_) &&
        e->type() == QEvent::MouseButtonDblClick) {
        EditResources();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

} // namespace pelkor
