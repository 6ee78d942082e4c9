#pragma once
// frmChoose: what a desktop start without a start file leads to. Lists the
// recent start files and offers Open..., New... (a job from the shipped
// template) and the start information. The chosen file then runs as if it
// had been named on the command line. Modal.

#include <QDialog>
#include <functional>
#include <string>

class QListWidget;

namespace pelkor {

class PelkorApp;

class ChooseWindow : public QDialog {
    Q_OBJECT
public:
    ChooseWindow(PelkorApp& app, std::string dataFolder, std::string templateFile,
                 QWidget* parent = nullptr);

    // After accept(): the start file to run, and whether it is a new job.
    const std::string& Chosen() const { return chosen_; }
    bool NewJob() const { return newJob_; }

    // The questions the window asks (tests answer them); an empty answer is
    // Cancel.
    std::function<QString()> PickFile;
    std::function<QString()> AskName;

private:
    void Choose(const std::string& file, bool newJob);
    void OnOpen();
    void OnNew();
    void OnStartInfo();
    void Tell(const std::string& text);

    PelkorApp& app_;
    std::string dataFolder_;
    std::string template_;
    std::string chosen_;
    bool newJob_ = false;
    QListWidget* recent_ = nullptr;
};

} // namespace pelkor
