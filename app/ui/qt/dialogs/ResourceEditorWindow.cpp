#include "ui/qt/dialogs/ResourceEditorWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "application/PelkorApp.h"
#include "tasks/ResourceRows.h"
#include "ui/qt/WidgetNames.h"
#include "ui/qt/models/ResourceGridModel.h"

namespace pelkor {

namespace {

QLabel* Buddy(QLabel* label, QWidget* buddy) {
    label->setBuddy(buddy);
    buddy->setAccessibleName(label->text().remove(':').trimmed());
    return label;
}

std::string Std(const QString& s) {
    return s.toStdString();
}

} // namespace

ResourceEditorWindow::ResourceEditorWindow(PelkorApp& app, int task, const ResourceOptions& options,
                                           QWidget* parent)
    : QDialog(parent), app_(app), task_(task) {
    setObjectName("frmEditResources");
    setWindowTitle("Edit Values and Headline");
    setModal(true);
    MakeGrid();
    BuildResourceBox();
    BuildOptions();
    BuildButtons();
    Load(options);
    ConnectControls();
}

void ResourceEditorWindow::MakeGrid() {
    model_ = new ResourceGridModel(this);
    grid_ = Named(new QTableView(this), "flgData");
    grid_->setAccessibleName("PCD Variables and Headline");
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->setVisible(false);
    grid_->verticalHeader()->setDefaultSectionSize(22);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->installEventFilter(this);
}

void ResourceEditorWindow::BuildResourceBox() {
    fmeResources_ = Named(new QGroupBox("PCD Variables and Headline", this), "fmeResources");
    cmbTyp_ = Named(new QComboBox(fmeResources_), "cmbTyp");
    cmbTyp_->addItems({"Register", "Flag", "Input", "Clock"});
    txbAdd_ = Named(new QLineEdit(fmeResources_), "txbAdd");
    txbNumber_ = Named(new QLineEdit(fmeResources_), "txbNumber");
    txbStation_ = Named(new QLineEdit(fmeResources_), "txbStation");
    txbHead_ = Named(new QLineEdit(fmeResources_), "txbHead");
    lblHead_ = Named(new QLabel("Headline :", fmeResources_), "lblHead");
    auto* rl = new QGridLayout(fmeResources_);
    rl->addWidget(Buddy(Named(new QLabel("Typ :", fmeResources_), "lblTyp"), cmbTyp_), 0, 0);
    rl->addWidget(cmbTyp_, 0, 1);
    rl->addWidget(Buddy(Named(new QLabel("Address :", fmeResources_), "lblData"), txbAdd_), 1, 0);
    rl->addWidget(txbAdd_, 1, 1);
    rl->addWidget(Buddy(Named(new QLabel("Number :", fmeResources_), "lblNumber"), txbNumber_), 2,
                  0);
    rl->addWidget(txbNumber_, 2, 1);
    rl->addWidget(Buddy(Named(new QLabel("Station :", fmeResources_), "lblStation"), txbStation_),
                  3, 0);
    rl->addWidget(txbStation_, 3, 1);
    rl->addWidget(Buddy(lblHead_, txbHead_), 4, 0);
    rl->addWidget(txbHead_, 4, 1);
    auto* rowButtons = new QHBoxLayout;
    const std::pair<const char*, const char*> buttons[] = {{"cmdNew", "Add"},
                                                           {"cmdInsert", "Insert"},
                                                           {"cmdRemove", "Remove"},
                                                           {"cmdUp", "Up"},
                                                           {"cmdDown", "Down"}};
    QPushButton* rowButton[5];
    for (int i = 0; i < 5; ++i) {
        rowButton[i] = Named(new QPushButton(buttons[i].second, fmeResources_), buttons[i].first);
        rowButton[i]->setAutoDefault(false);
        rowButtons->addWidget(rowButton[i]);
    }
    rl->addLayout(rowButtons, 5, 0, 1, 2);
    connect(rowButton[0], &QPushButton::clicked, this, [this] { AddRow(); });
    connect(rowButton[1], &QPushButton::clicked, this, [this] { InsertRow(); });
    connect(rowButton[2], &QPushButton::clicked, this, [this] { RemoveRow(); });
    connect(rowButton[3], &QPushButton::clicked, this, [this] { MoveRow(-1); });
    connect(rowButton[4], &QPushButton::clicked, this, [this] { MoveRow(1); });
}

void ResourceEditorWindow::BuildOptions() {
    ckbHeadline_ = Named(new QCheckBox("Insert Headline", this), "ckbHeadline");
    fmeOptions_ = Named(new QGroupBox("Optional Columns ", this), "fmeOptions");
    auto* ol = new QGridLayout(fmeOptions_);
    auto option = [&](QCheckBox*& box, QLineEdit*& text, const char* boxName, const char* textName,
                      const char* caption, int row) {
        box = Named(new QCheckBox(caption, fmeOptions_), boxName);
        text = Named(new QLineEdit(fmeOptions_), textName);
        text->setAccessibleName(QString::fromLatin1(caption) + " headline");
        ol->addWidget(box, row, 0);
        ol->addWidget(text, row, 1);
    };
    option(ckbLineCnt_, txbLineCnt_, "ckbLineCnt", "txbLineCnt", "Line Count", 0);
    option(ckbTimeStamp_, txbTimeStamp_, "ckbTimeStamp", "txbTimeStamp", "Time Stamp", 1);
    option(ckbMissValues_, txbMissValues_, "ckbMissValues", "txbMissValues",
           "Missing Values Counter", 2);
    option(ckbAddTask_, txbAddTask_, "ckbAddTask", "txbAddTask", "Task Number", 3);
    ol->addWidget(Named(new QLabel("Headline texts for optional columns.", fmeOptions_), "Label1"),
                  4, 0, 1, 2);
}

void ResourceEditorWindow::BuildButtons() {
    cmdSave_ = Named(new QPushButton("Apply", this), "cmdSave");
    auto* cmdClose = Named(new QPushButton("Close", this), "cmdClose");
    cmdSave_->setAutoDefault(false);
    cmdClose->setAutoDefault(false);

    auto* side = new QVBoxLayout;
    side->addWidget(fmeResources_);
    side->addWidget(ckbHeadline_);
    side->addWidget(fmeOptions_);
    side->addStretch(1);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(cmdSave_);
    closeRow->addWidget(cmdClose);
    side->addLayout(closeRow);
    auto* top = new QHBoxLayout(this);
    top->addWidget(grid_, 1);
    top->addLayout(side, 0);
    grid_->setMinimumWidth(440);
    resize(900, 460);
    connect(cmdClose, &QPushButton::clicked, this, [this] { reject(); });
}

void ResourceEditorWindow::Load(const ResourceOptions& options) {
    const Task& t = app_.App().Tasks[task_];
    // Loading, in order: no events while the window fills itself.
    events_ = false;
    cmbTyp_->setCurrentIndex(-1);
    ckbLineCnt_->setChecked(options.LineCount);
    ckbTimeStamp_->setChecked(options.TimeStamp);
    ckbMissValues_->setChecked(options.MissValues);
    ckbAddTask_->setChecked(options.TaskNumber);
    ckbHeadline_->setChecked(options.HeadLines);
    txbLineCnt_->setText(QString::fromStdString(t.LineCountText));
    txbTimeStamp_->setText(QString::fromStdString(t.TimeStampText));
    txbMissValues_->setText(QString::fromStdString(t.MissValuesText));
    txbAddTask_->setText(QString::fromStdString(t.TaskNumberText));
    BuildGrid();
    UpdateHeadlineControls();
    editable_ = app_.App().Settings.StartMode != 2;
    for (QWidget* w : {static_cast<QWidget*>(fmeOptions_), static_cast<QWidget*>(fmeResources_),
                       static_cast<QWidget*>(ckbHeadline_), static_cast<QWidget*>(cmdSave_)})
        w->setEnabled(editable_);
    events_ = true;
    changed_ = false;
}

void ResourceEditorWindow::ConnectControls() {
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (events_ && current.isValid() && current.row() + 1 != selected_)
                    ShowRow(current.row() + 1);
            });
    connect(grid_, &QTableView::clicked, this, [this](const QModelIndex& i) {
        if (events_ && i.isValid()) ShowRow(i.row() + 1);
    });
    auto cell = [this](QLineEdit* box, int column) {
        connect(box, &QLineEdit::textEdited, this, [this, column](const QString& text) {
            if (!events_ || selected_ < 1) return;
            model_->SetCell(selected_ - 1, column, Std(text));
            MarkChanged();
        });
    };
    cell(txbStation_, 1);
    cell(txbHead_, 3);
    connect(cmbTyp_, &QComboBox::activated, this, [this] { RebuildVariable(); });
    connect(txbAdd_, &QLineEdit::textEdited, this, [this] { RebuildVariable(); });
    connect(txbNumber_, &QLineEdit::textEdited, this, [this] { RebuildVariable(); });
    // `toggled`, not `clicked`: the accessibility interface toggles.
    connect(ckbHeadline_, &QCheckBox::toggled, this, [this] {
        MarkChanged();
        UpdateHeadlineControls();
    });
    for (QCheckBox* b : {ckbLineCnt_, ckbTimeStamp_, ckbMissValues_, ckbAddTask_})
        connect(b, &QCheckBox::toggled, this, [this] { MarkChanged(); });
    for (QLineEdit* e : {txbLineCnt_, txbTimeStamp_, txbMissValues_, txbAddTask_})
        connect(e, &QLineEdit::textEdited, this, [this] { MarkChanged(); });
    connect(cmdSave_, &QPushButton::clicked, this, [this] { Apply(); });
}

void ResourceEditorWindow::BuildGrid() {
    grid_->setUpdatesEnabled(false);
    model_->SetRows(ResourceRowsOf(app_.App().Tasks[task_]));
    grid_->setColumnWidth(0, 42);
    grid_->setColumnWidth(1, 42);
    grid_->setColumnWidth(2, 120);
    grid_->setUpdatesEnabled(true);
    ShowRow(1);
}

void ResourceEditorWindow::ShowRow(int r) {
    const bool was = events_;
    events_ = false;
    if (r < 1 || r > model_->rowCount()) {
        grid_->clearSelection();
        selected_ = 0;
        events_ = was;
        return;
    }
    selected_ = r;
    grid_->selectionModel()->setCurrentIndex(
        model_->index(r - 1, 1), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const ResourceRow& row = model_->Row(r - 1);
    txbStation_->setText(QString::fromStdString(row.Station));
    txbHead_->setText(QString::fromStdString(row.Head));
    const VariableFields f = ParseVariableText(row.Variable);
    cmbTyp_->setCurrentIndex(f.Type);
    txbAdd_->setText(QString::fromStdString(f.Address));
    txbNumber_->setText(QString::fromStdString(f.Number));
    events_ = was;
}

void ResourceEditorWindow::SelectRow(int r) {
    ShowRow(r);
}

void ResourceEditorWindow::RebuildVariable() {
    if (!events_ || selected_ < 1) return;
    model_->SetCell(selected_ - 1, 2,
                    ComposeVariableText(cmbTyp_->currentIndex(), Std(txbAdd_->text()),
                                        Std(txbNumber_->text())));
    MarkChanged();
}

void ResourceEditorWindow::MarkChanged() {
    if (events_) changed_ = true;
}

void ResourceEditorWindow::UpdateHeadlineControls() {
    const bool on = ckbHeadline_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(txbLineCnt_), static_cast<QWidget*>(txbTimeStamp_),
                       static_cast<QWidget*>(txbMissValues_), static_cast<QWidget*>(txbAddTask_),
                       static_cast<QWidget*>(lblHead_), static_cast<QWidget*>(txbHead_)})
        w->setEnabled(on);
}

void ResourceEditorWindow::AddRow() {
    if (!editable_) return;
    model_->AppendRow();
    ShowRow(model_->rowCount());
    MarkChanged();
}

void ResourceEditorWindow::InsertRow() {
    if (!editable_) return;
    const int r = std::max(selected_, 1);
    model_->InsertRow(r - 1);
    MarkChanged();
    ShowRow(r);
}

void ResourceEditorWindow::RemoveRow() {
    if (!editable_ || selected_ < 1) return;
    const int r = selected_;
    model_->RemoveRow(r - 1);
    MarkChanged();
    ShowRow(std::min(r, model_->rowCount()));
}

void ResourceEditorWindow::MoveRow(int step) {
    if (!editable_) return;
    const int r = selected_;
    const int to = r + step;
    if (r < 1 || to < 1 || to > model_->rowCount()) return;
    grid_->setUpdatesEnabled(false);
    model_->SwapRows(r - 1, to - 1);
    grid_->setUpdatesEnabled(true);
    ShowRow(to);
    MarkChanged();
}

bool ResourceEditorWindow::Apply() {
    if (!editable_) return false;
    std::string problem = ResourceRowsProblem(model_->Rows());
    for (QLineEdit* e : {txbLineCnt_, txbTimeStamp_, txbMissValues_, txbAddTask_})
        if (problem.empty()) problem = HeadlineTextProblem(Std(e->text()), true);
    if (!problem.empty()) {
        app_.App().Ui.MessageBox(problem, "Pelkor", MsgIcon::Exclamation, MsgButtons::Ok,
                                 MsgAnswer::Ok);
        return false;
    }
    Task& t = app_.App().Tasks[task_];
    ResourceOptions o;
    o.LineCount = ckbLineCnt_->isChecked();
    o.TimeStamp = ckbTimeStamp_->isChecked();
    o.MissValues = ckbMissValues_->isChecked();
    o.TaskNumber = ckbAddTask_->isChecked();
    o.HeadLines = ckbHeadline_->isChecked();
    t.LineCount = o.LineCount;
    t.TimeStamp = o.TimeStamp;
    t.MissValues = o.MissValues;
    t.TaskNumber = o.TaskNumber;
    t.HeadLines = o.HeadLines;
    t.LineCountText = Std(txbLineCnt_->text());
    t.TimeStampText = Std(txbTimeStamp_->text());
    t.MissValuesText = Std(txbMissValues_->text());
    t.TaskNumberText = Std(txbAddTask_->text());
    ApplyResourceRows(app_.App(), task_, model_->Rows());
    emit Applied(o, QString::fromStdString(t.Data));
    // Left-out empty rows leave the grid too: it shows what was applied.
    const int row = selected_;
    BuildGrid();
    ShowRow(std::min(row, model_->rowCount()));
    changed_ = false;
    return true;
}

void ResourceEditorWindow::done(int result) {
    if (changed_) {
        const MsgAnswer a =
            app_.App().Ui.MessageBox("Do you want to apply resources changes", "Pelkor",
                                     MsgIcon::Question, MsgButtons::YesNoCancel, MsgAnswer::Yes);
        if (a == MsgAnswer::Cancel) return;
        if (a == MsgAnswer::Yes && !Apply()) return;
        changed_ = false;
    }
    QDialog::done(result);
}

bool ResourceEditorWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Insert:
            InsertRow();
            return true;
        case Qt::Key_Delete:
            RemoveRow();
            return true;
        case Qt::Key_Escape:
            reject();
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pelkor
