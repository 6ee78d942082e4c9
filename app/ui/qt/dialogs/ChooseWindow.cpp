#include "ui/qt/dialogs/ChooseWindow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "application/PelkorApp.h"
#include "config/JobFiles.h"
#include "ui/qt/WidgetNames.h"
#include "ui/qt/dialogs/InfoWindow.h"

namespace pelkor {

ChooseWindow::ChooseWindow(PelkorApp& app, std::string dataFolder, std::string templateFile,
                           QWidget* parent)
    : QDialog(parent), app_(app), dataFolder_(std::move(dataFolder)),
      template_(std::move(templateFile)) {
    setObjectName("frmChoose");
    setWindowTitle("Open a start file");
    PickFile = [this] {
        return QFileDialog::getOpenFileName(this, "Open a start file", Q(dataFolder_),
                                            "Start files (*.pelk)");
    };
    AskName = [this] {
        return QInputDialog::getText(this, "New start file", "Name of the new job:");
    };

    auto* layout = new QVBoxLayout(this);
    auto* caption = Named(new QLabel("&Recent start files:", this), "lblRecent");
    recent_ = Named(new QListWidget(this), "lstRecent");
    recent_->setAccessibleName("Recent start files");
    recent_->setMinimumSize(420, 160);
    caption->setBuddy(recent_);
    for (const std::string& f : ReadRecentFiles(dataFolder_))
        recent_->addItem(Q(f));
    if (recent_->count() > 0) recent_->setCurrentRow(0);
    connect(recent_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { Choose(item->text().toStdString(), false); });
    layout->addWidget(caption);
    layout->addWidget(recent_);

    auto* row = new QHBoxLayout;
    auto button = [&](const char* name, const char* text, void (ChooseWindow::*slot)()) {
        auto* b = Named(new QPushButton(text, this), name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
        return b;
    };
    button("cmdOpen", "&Open...", &ChooseWindow::OnOpen);
    button("cmdNew", "&New...", &ChooseWindow::OnNew);
    button("cmdStartInfo", "&Start info...", &ChooseWindow::OnStartInfo);
    row->addStretch(1);
    auto* cancel = Named(new QPushButton("Cancel", this), "cmdCancel");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(cancel);
    layout->addLayout(row);
}

void ChooseWindow::Choose(const std::string& file, bool newJob) {
    std::string error;
    // A list that cannot be kept only costs the next start its entry.
    if (!RememberRecentFile(dataFolder_, file, error)) Tell(error);
    chosen_ = file;
    newJob_ = newJob;
    accept();
}

void ChooseWindow::OnOpen() {
    const QString file = PickFile();
    if (!file.isEmpty()) Choose(file.toStdString(), false);
}

void ChooseWindow::OnNew() {
    const QString name = AskName();
    if (name.trimmed().isEmpty()) return;
    std::string path, error;
    if (!NewJobPath(dataFolder_, name.toStdString(), path, error) ||
        !CreateJobFromTemplate(template_, path, error)) {
        Tell(error);
        return;
    }
    Choose(path, true);
}

void ChooseWindow::OnStartInfo() {
    InfoWindow info(app_, this);
    info.exec();
}

void ChooseWindow::Tell(const std::string& text) {
    app_.App().Ui.MessageBox(text, "Pelkor", MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
}

} // namespace pelkor
