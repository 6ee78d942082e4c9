#pragma once
// frmSetting: the settings window, opened modally from "&Settings...".

#include <QDialog>

namespace pelkor {

class PelkorApp;

class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    explicit SettingsWindow(PelkorApp& app, QWidget* parent = nullptr);

private:
    PelkorApp& app_;
};

}  // namespace pelkor
