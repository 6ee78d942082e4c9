#pragma once
// frmEditResources: one task's resource list as a grid (station, PCD
// variable, headline) with the optional columns; opened modally by the task
// editor. "Apply" rewrites the task's list in memory; the task editor's
// "Save" writes it to the start file.

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace pelkor {

class PelkorApp;
class ResourceGridModel;

// The task editor's five option check boxes, handed over unsaved.
struct ResourceOptions {
    bool LineCount = false, TimeStamp = false, MissValues = false, TaskNumber = false,
         HeadLines = false;
};

class ResourceEditorWindow : public QDialog {
    Q_OBJECT
public:
    ResourceEditorWindow(PelkorApp& app, int task, const ResourceOptions& options,
                         QWidget* parent = nullptr);

    // "Apply". False, with a message naming the row, when a row or a
    // headline text cannot be stored; nothing is applied then.
    bool Apply();
    bool Changed() const { return changed_; }
    ResourceGridModel& Grid() { return *model_; }
    int SelectedRow() const { return selected_; } // from 1; 0 none
    void ShowRow(int r);

signals:
    // After "Apply": the option boxes and the new resource list, for the
    // task editor's controls.
    void Applied(const pelkor::ResourceOptions& options, const QString& data);

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window in building steps, in the order of the tab chain.
    void MakeGrid();
    void BuildResourceBox();
    void BuildOptions();
    void BuildButtons();
    void Load(const ResourceOptions& options);
    void ConnectControls();
    void BuildGrid();
    void UpdateHeadlineControls();
    void RebuildVariable();
    void MarkChanged();
    void AddRow();
    void InsertRow();
    void RemoveRow();
    void MoveRow(int step);
    void SelectRow(int r);

    PelkorApp& app_;
    int task_;
    bool editable_ = true;
    bool events_ = false;
    bool changed_ = false;
    int selected_ = 0;
    ResourceGridModel* model_ = nullptr;
    QTableView* grid_ = nullptr;
    QGroupBox* fmeResources_ = nullptr;
    QGroupBox* fmeOptions_ = nullptr;
    QComboBox* cmbTyp_ = nullptr;
    QLineEdit *txbAdd_ = nullptr, *txbNumber_ = nullptr, *txbStation_ = nullptr,
              *txbHead_ = nullptr;
    QLabel* lblHead_ = nullptr;
    QCheckBox *ckbHeadline_ = nullptr, *ckbLineCnt_ = nullptr, *ckbTimeStamp_ = nullptr,
              *ckbMissValues_ = nullptr, *ckbAddTask_ = nullptr;
    QLineEdit *txbLineCnt_ = nullptr, *txbTimeStamp_ = nullptr, *txbMissValues_ = nullptr,
              *txbAddTask_ = nullptr;
    QPushButton* cmdSave_ = nullptr;
};

} // namespace pelkor
