#pragma once
// frmSetting: the settings window, opened modally from "&Settings...".

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace pelkor {

class PelkorApp;

class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    explicit SettingsWindow(PelkorApp& app, QWidget* parent = nullptr);

    bool Changed() const { return changed_; }

    // Seams for tests: the folder picker (default PickFolder), the built-in
    // channel dialog (default: modal ChannelDialog) and the desktop folder
    // (default DesktopFolder()).
    void SetFolderPicker(std::function<bool(std::string& folder)> pick) {
        pickFolder_ = std::move(pick);
    }
    void SetChannelDialog(std::function<void()> show) { showChannelDialog_ = std::move(show); }
    void SetDesktopFolder(std::function<std::string()> folder) {
        desktopFolder_ = std::move(folder);
    }

public slots:
    // "Close" and Escape: asks about unsaved changes; Cancel keeps the window.
    void reject() override;

private:
    void Load();
    void MarkChanged();
    bool Save();
    void BrowseLogFolder();
    void CopyPg5Settings();
    void OnlineSettings();
    void ShowMqttDialog();
    void CreateShortcut();

    PelkorApp& app_;
    bool changed_ = false;
    bool loading_ = false;
    std::function<bool(std::string&)> pickFolder_;
    std::function<void()> showChannelDialog_;
    std::function<std::string()> desktopFolder_;

    QGroupBox* fmeLog_ = nullptr;
    QGroupBox* fmeConnection_ = nullptr;
    QLineEdit* txbLogFolder_ = nullptr;
    QPushButton* cmdLogFile_ = nullptr;
    QCheckBox* ckbLogFile_ = nullptr;
    QCheckBox* ckbShowMessages_ = nullptr;
    QCheckBox* ckbAutoconnect_ = nullptr;
    QPushButton* cmdUsePg5_ = nullptr;
    QPushButton* cmdSettings_ = nullptr;
    QPushButton* cmdShortcut_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

} // namespace pelkor
