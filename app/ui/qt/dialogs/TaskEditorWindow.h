#pragma once
// frmData: the task editor. One instance at a time, opened from "&Tasks..."
// without blocking the main window; readings go on while it is open. It
// deletes itself when closed. A non-modal dialog, so assistive technology
// sees a window named by its caption.

#include <QDialog>
#include <QList>
#include <memory>

#include "tasks/TaskEditing.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QBoxLayout;
class QToolBar;

namespace pelkor {

class PelkorApp;
class TaskEditorLink;
struct ResourceOptions;

class TaskEditorWindow : public QDialog {
    Q_OBJECT
public:
    explicit TaskEditorWindow(PelkorApp& app, QWidget* parent = nullptr);
    ~TaskEditorWindow() override;

    // Called from the acquisition loop through the user-interface port.
    void ShowNextRead(int task);
    void ShowDataRead(int task);

    // The shown task into the controls.
    void ShowTask();
    // "Save" (quiet: no missing-resources line).
    bool StoreTask(bool quiet);
    bool Changed() const { return changed_; }
    // The controls as values, and back.
    TaskForm ReadForm() const;

    // Tool bar keys: "New", "Delete", "Save", "Back", "Forward", "Exit".
    void ToolbarClick(const QString& key);
    // "Addresses and Headline ...": the resource editor, modal.
    void EditResources();
    // Escape and the window manager close it the way "Exit" does.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window in building steps, in the order of the tab chain.
    void BuildToolbar();
    QBoxLayout* BuildTaskLine();
    void BuildConnection();
    void BuildRecords();
    void BuildOutputFile();
    void LayOutOutputFile();
    void BuildAddresses();
    void LayOut(QBoxLayout* taskLine);
    void LoadFirstTask();
    void ConnectChanges();
    void ConnectCommands();
    // Yes answered: store first. False when that store failed.
    bool AskSaveTask();
    void EnableEditing(bool on);
    void UpdateOutputEnabled();
    void FileTypeUpdate();
    void UpdateAddressFileControls();
    void UpdateToolbar();
    void UpdatePg5Visibility();
    void UpdateHourVisibility();
    void MarkChanged();
    void ReadNow();
    void ReadAddressFile();
    void BrowseDataFile();
    void BrowseFolder();
    void ApplyForm(const TaskForm& f);
    void SetErrorText(const std::string& text, bool red);
    // After New, Delete and Save: a locked start file keeps none of it.
    void ShowLockedNote();
    void ShowValues(const Task& t);
    QList<QWidget*> ExcelGroup() const;
    int N() const;
    Task& Current();

    PelkorApp& app_;
    std::unique_ptr<TaskEditorLink> link_;
    bool changed_ = false;
    bool loading_ = false;
    bool editable_ = true;

    QToolBar* toolbar_ = nullptr;
    QAction *actNew_ = nullptr, *actDelete_ = nullptr, *actSave_ = nullptr, *actBack_ = nullptr,
            *actForward_ = nullptr, *actExit_ = nullptr;
    QLabel* lblTaskNum_ = nullptr;
    QCheckBox* ckbTask_ = nullptr;
    QLineEdit* txbTaskComment_ = nullptr;
    QGroupBox* frmConnection_ = nullptr;
    QCheckBox *ckbPG5_ = nullptr, *ckbAuto_ = nullptr;
    QLabel *lblSBus_ = nullptr, *lblIP_ = nullptr;
    QLineEdit *txbSBus_ = nullptr, *txbIP_ = nullptr;
    QGroupBox* fmeRecords_ = nullptr;
    QLineEdit* txbReadInterval_ = nullptr;
    QComboBox* cmbIntervalUnit_ = nullptr;
    QLabel* lblHour_ = nullptr;
    QLineEdit *txbReadHour_ = nullptr, *txbNext_ = nullptr, *txbCounter_ = nullptr,
              *txbLastRead_ = nullptr, *txbError_ = nullptr;
    QPushButton *cmdRead_ = nullptr, *cmdClear_ = nullptr;
    QGroupBox* fmeOutputFile_ = nullptr;
    QFrame *frmFileType_ = nullptr, *frmExcel_ = nullptr;
    QRadioButton* optFileType_[2] = {nullptr, nullptr};
    QRadioButton* optOrient_[2] = {nullptr, nullptr};
    QButtonGroup *fileTypeGroup_ = nullptr, *orientGroup_ = nullptr;
    QLineEdit *txbFolder_ = nullptr, *txbFileName_ = nullptr, *txbFormatTime_ = nullptr,
              *txbOutPage_ = nullptr, *txbCellStart_ = nullptr;
    QPushButton* cmdUserFile_ = nullptr;
    QLabel *lblNewFile_ = nullptr, *lblExcel_ = nullptr, *lblOutPage_ = nullptr,
           *lblCellStart_ = nullptr;
    QComboBox* cmbNewFile_ = nullptr;
    QCheckBox *ckbIndexed_ = nullptr, *ckbFormatTime_ = nullptr, *ckbOveride_ = nullptr;
    QGroupBox* frmDataValues_ = nullptr;
    QLineEdit *txbData_ = nullptr, *txbDataFile_ = nullptr, *txbPage_ = nullptr,
              *txbCells_ = nullptr;
    QPushButton *cmdEditAdd_ = nullptr, *cmdBrowse_ = nullptr, *cmdRefresh_ = nullptr;
    QCheckBox* ckbFile_ = nullptr;
    QLabel *lblPage_ = nullptr, *lblCells_ = nullptr;
    QCheckBox *ckbHeadLine_ = nullptr, *ckbLineCnt_ = nullptr, *ckbAddTask_ = nullptr,
              *ckbTimeStamp_ = nullptr, *ckbMissValues_ = nullptr;
};

} // namespace pelkor
