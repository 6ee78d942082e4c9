#include "ui/qt/dialogs/SettingsWindow.h"

#include <QLabel>
#include <QVBoxLayout>

#include "main/PelkorApp.h"

namespace pelkor {

// Placeholder until the settings window is built.
SettingsWindow::SettingsWindow(PelkorApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("frmSetting");
    setWindowTitle("Pelkor Settings");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Settings are edited in the start file for now.", this));
}

}  // namespace pelkor
