#pragma once
// frmPath: the modal folder picker ("Pelkor Change Directory"). The drives
// are the mounted volumes; OK makes a missing folder (and stays open when it
// cannot).

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "util/Volumes.h"

class QComboBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelkor {

struct AppContext;

// Shows the picker on `folder`; true with the chosen folder in `folder` on OK,
// false (folder unchanged) on Cancel.
bool PickFolder(AppContext& app, QWidget* parent, std::string& folder);

class FolderPickerDialog : public QDialog {
    Q_OBJECT
public:
    using VolumeSource = std::function<std::vector<Volume>()>;
    // Whether a volume can be read now; the reason in error when not.
    using VolumeCheck = std::function<bool(const Volume&, std::string& error)>;

    // The system's volumes (QStorageInfo) and readiness check by default.
    FolderPickerDialog(AppContext& app, const std::string& folder, QWidget* parent = nullptr,
                       VolumeSource volumes = SystemVolumes, VolumeCheck check = CheckVolume);

    // The folder accepted with OK (the starting folder until then).
    const std::string& Folder() const { return folder_; }
    // A different folder was accepted.
    bool Accepted() const { return accepted_; }
    // The folder the folder list shows.
    const std::string& ListedFolder() const { return listed_; }

    static std::vector<Volume> SystemVolumes();
    static bool CheckVolume(const Volume& volume, std::string& error);

private:
    bool ShowFolder(const std::string& folder);
    void FollowDrive();
    void OnDriveChanged(int index);
    void OnFolderActivated(QTreeWidgetItem* item);
    void OnFolderSelected(QTreeWidgetItem* item);
    void OnOk();

    AppContext& app_;
    std::string folder_;
    std::string listed_;
    bool accepted_ = false;
    std::vector<Volume> volumes_;
    VolumeCheck check_;
    int lastGoodDrive_ = -1;
    bool guard_ = false; // one list's change does not re-enter the other's

    QComboBox* drives_ = nullptr;
    QTreeWidget* dirs_ = nullptr;
    QLineEdit* path_ = nullptr;
};

} // namespace pelkor
