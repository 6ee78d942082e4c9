#pragma once
// frmInfo: shown when the program starts without a start file. Explains how
// to register Pelkor with PG5; "OK" leads to the About window. Modal.

#include <QDialog>

namespace pelkor {

class PelkorApp;

class InfoWindow : public QDialog {
    Q_OBJECT
public:
    explicit InfoWindow(PelkorApp& app, QWidget* parent = nullptr);

private:
    void ShowHelp();
    void ShowAbout();
    PelkorApp& app_;
};

// The help page opened with the shell; a failure is told in a message box.
void OpenHelpPage(PelkorApp& app, int showCommand);

} // namespace pelkor
