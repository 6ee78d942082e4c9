#include "ui/qt/dialogs/SettingsWindow.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "application/PelkorApp.h"
#include "config/SettingsForm.h"
#include "pcd/PcdConnection.h"
#include "ui/qt/WidgetNames.h"
#include "ui/qt/dialogs/ChannelDialog.h"
#include "ui/qt/dialogs/FolderPicker.h"
#include "ui/qt/dialogs/MqttDialog.h"
#include "util/AppFolders.h"
#include "util/DesktopShortcut.h"

namespace pelkor {

namespace {

// Pelkor's icon: the shipped file, else the icon theme's.
std::string PelkorIcon(const std::string& programFolder) {
    const std::string file = FindShippedFile("pelkor.svg", programFolder);
    return QFileInfo::exists(Q(file)) ? file : "pelkor";
}

} // namespace

SettingsWindow::SettingsWindow(PelkorApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("frmSetting");
    setModal(true);

    fmeLog_ = Named(new QGroupBox("Log File", this), "fmeLog");
    auto* label8 = Named(new QLabel("Folder :", fmeLog_), "Label8");
    txbLogFolder_ = Named(new QLineEdit(fmeLog_), "txbLogFolder");
    label8->setBuddy(txbLogFolder_);
    cmdLogFile_ = Named(new QPushButton("Browse ...", fmeLog_), "cmdLogFile");
    ckbLogFile_ = Named(new QCheckBox("Write to log file", fmeLog_), "ckbLogFile");
    auto* logGrid = new QGridLayout(fmeLog_);
    logGrid->addWidget(label8, 0, 0);
    logGrid->addWidget(txbLogFolder_, 0, 1);
    logGrid->addWidget(cmdLogFile_, 0, 2);
    logGrid->addWidget(ckbLogFile_, 1, 1, 1, 2);
    logGrid->setColumnStretch(1, 1);

    auto* frame1 = Named(new QGroupBox("Options", this), "Frame1");
    ckbShowMessages_ = Named(new QCheckBox("Show message list", frame1), "ckbShowMessages");
    (new QVBoxLayout(frame1))->addWidget(ckbShowMessages_);

    fmeConnection_ = Named(new QGroupBox("PCD Connection", this), "fmeConnection");
    ckbAutoconnect_ = Named(new QCheckBox("Automatic connect", fmeConnection_), "ckbAutoconnect");
    cmdUsePg5_ =
        Named(new QPushButton("Copy Last PG5 Online Settings", fmeConnection_), "cmdUsePg5");
    cmdSettings_ = Named(new QPushButton("Online Settings...", fmeConnection_), "cmdSettings");
    auto* connLayout = new QVBoxLayout(fmeConnection_);
    connLayout->addWidget(ckbAutoconnect_);
    auto* connButtons = new QHBoxLayout;
    connButtons->addWidget(cmdUsePg5_);
    connButtons->addWidget(cmdSettings_);
    auto* cmdMqtt = Named(new QPushButton("MQTT...", fmeConnection_), "cmdMqtt");
    connButtons->addWidget(cmdMqtt);
    connect(cmdMqtt, &QPushButton::clicked, this, &SettingsWindow::ShowMqttDialog);
    connButtons->addStretch();
    connLayout->addLayout(connButtons);

    auto* frame2 = Named(new QGroupBox("Shortcut", this), "Frame2");
    cmdShortcut_ = Named(new QPushButton("Create a Desktop Shortcut", frame2), "cmdShortcut");
    auto* shortcutLayout = new QHBoxLayout(frame2);
    shortcutLayout->addWidget(cmdShortcut_);
    shortcutLayout->addStretch();

    okButton_ = Named(new QPushButton("Save Settings", this), "OKButton");
    cmdCancel_ = Named(new QPushButton("Close", this), "cmdCancel");
    // No default button: Enter in the folder field must not open a dialog.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cmdCancel_);

    auto* options = new QHBoxLayout;
    options->addWidget(frame1);
    options->addWidget(frame2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fmeLog_);
    layout->addLayout(options);
    layout->addWidget(fmeConnection_);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(520, sizeHint().height());

    connect(txbLogFolder_, &QLineEdit::textEdited, this, &SettingsWindow::MarkChanged);
    for (QCheckBox* box : {ckbLogFile_, ckbShowMessages_, ckbAutoconnect_})
        connect(box, &QCheckBox::toggled, this, &SettingsWindow::MarkChanged);
    connect(cmdLogFile_, &QPushButton::clicked, this, &SettingsWindow::BrowseLogFolder);
    connect(cmdUsePg5_, &QPushButton::clicked, this, &SettingsWindow::CopyPg5Settings);
    connect(cmdSettings_, &QPushButton::clicked, this, &SettingsWindow::OnlineSettings);
    connect(cmdShortcut_, &QPushButton::clicked, this, &SettingsWindow::CreateShortcut);
    connect(okButton_, &QPushButton::clicked, this, [this] {
        if (changed_) Save();
    });
    connect(cmdCancel_, &QPushButton::clicked, this, &SettingsWindow::reject);

    Load();
}

void SettingsWindow::Load() {
    loading_ = true;
    AppContext& ctx = app_.App();
    setWindowTitle(Q(SettingsCaption(ctx)));
    const bool editable = SettingsEditable(ctx);
    for (QWidget* w :
         std::initializer_list<QWidget*>{fmeConnection_, fmeLog_, okButton_, ckbAutoconnect_,
                                         txbLogFolder_, ckbLogFile_, cmdLogFile_, ckbShowMessages_})
        w->setEnabled(editable);
    const SettingsForm form = LoadSettingsForm(ctx);
    txbLogFolder_->setText(Q(form.LogFolder));
    ckbLogFile_->setChecked(form.LogUsed);
    ckbShowMessages_->setChecked(form.ShowMessages);
    ckbAutoconnect_->setChecked(form.AutoConnect);
    cmdUsePg5_->setEnabled(CopyPg5Allowed(ctx));
    changed_ = false;
    loading_ = false;
}

void SettingsWindow::MarkChanged() {
    if (!loading_) changed_ = true;
}

bool SettingsWindow::Save() {
    const SettingsForm form{txbLogFolder_->text().toStdString(), ckbLogFile_->isChecked(),
                            ckbShowMessages_->isChecked(), ckbAutoconnect_->isChecked()};
    switch (SaveSettingsForm(app_.App(), form)) {
    case SettingsSaveResult::FolderFailed:
        txbLogFolder_->setFocus();
        txbLogFolder_->selectAll();
        return false;
    case SettingsSaveResult::WriteFailed:
        return false; // the writer showed why; the changes stay marked
    case SettingsSaveResult::Saved:
        break;
    }
    loading_ = true;
    txbLogFolder_->setText(Q(app_.App().Settings.LogFolder));
    loading_ = false;
    changed_ = false;
    return true;
}

void SettingsWindow::reject() {
    if (changed_) {
        const MsgAnswer a =
            app_.App().Ui.MessageBox("Do you want to save settings changes", "Pelkor",
                                     MsgIcon::Question, MsgButtons::YesNoCancel, MsgAnswer::Yes);
        if (a == MsgAnswer::Cancel) return;
        if (a == MsgAnswer::Yes) Save(); // closes whatever the result
    }
    QDialog::reject();
}

void SettingsWindow::BrowseLogFolder() {
    std::string folder = txbLogFolder_->text().toStdString();
    const bool picked = pickFolder_ ? pickFolder_(folder) : PickFolder(app_.App(), this, folder);
    if (!picked) return;
    const std::string taken = BrowsedLogFolder(app_.App(), folder);
    if (taken.empty()) return;
    txbLogFolder_->setText(Q(taken));
    MarkChanged();
}

void SettingsWindow::CopyPg5Settings() {
    AppContext& ctx = app_.App();
    if (CopyPg5Allowed(ctx)) app_.Connection().CopyPg5Defaults(ctx, ctx.Settings.StartFile);
}

void SettingsWindow::OnlineSettings() {
    if (app_.App().Status.PG5Available != 0) {
        app_.Connection().ShowPg5ChannelDialog(static_cast<intptr_t>(winId()));
        return;
    }
    if (showChannelDialog_) {
        showChannelDialog_();
        return;
    }
    ChannelDialog channel(app_, this);
    channel.exec();
}

void SettingsWindow::ShowMqttDialog() {
    MqttDialog dialog(app_, this);
    dialog.exec();
}

void SettingsWindow::CreateShortcut() {
    AppContext& ctx = app_.App();
    // Started in the user's data folder: the program folder is never written.
    const ShortcutTarget target{ctx.Settings.StartFile, ctx.Settings.DLL,
                                ctx.ProgramFolder + "/pelkor", ctx.UserDataFolder,
                                PelkorIcon(ctx.ProgramFolder)};
    const std::string desktop = desktopFolder_ ? desktopFolder_() : DesktopFolder();
    std::string file, error;
    switch (WriteDesktopShortcut(target, desktop, file, error)) {
    case ShortcutResult::InvalidName:
        ctx.Ui.MessageBox("Invalid File Name : \n" + ctx.Settings.StartFile,
                          "Pelkor Create Shortcut", MsgIcon::Information, MsgButtons::Ok,
                          MsgAnswer::Ok);
        break;
    case ShortcutResult::Exists:
        ctx.Ui.MessageBox("This Shortcut already exist !", "Pelkor  Create Shortcut",
                          MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok);
        break;
    case ShortcutResult::Failed:
        ctx.Ui.MessageBox("Create Shortcut Error : " + error, "Pelkor", MsgIcon::Exclamation,
                          MsgButtons::Ok, MsgAnswer::Ok);
        break;
    case ShortcutResult::Created:
        MarkLauncherTrusted(file);
        ctx.Ui.SetStatusLine("Desktop shortcut written to " + file);
        break;
    }
}

} // namespace pelkor
