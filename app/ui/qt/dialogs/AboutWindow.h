#pragma once
// frmAbout: the version, the maker's web address and one button per
// installed PG5 version (newest first, at most three) that installs Pelkor
// as that version's add-on tool. Modal.

#include <QDialog>
#include <array>

class QLabel;
class QPushButton;

namespace pelkor {

class PelkorApp;

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(PelkorApp& app, QWidget* parent = nullptr);

private:
    void Install(int index);
    void OpenWeb();
    PelkorApp& app_;
    std::array<QPushButton*, 3> pg5_{};
    std::array<int, 3> tags_{};
};

} // namespace pelkor
