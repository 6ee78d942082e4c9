#include "ui/qt/dialogs/FolderPicker.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/AppContext.h"
#include "core/DrivePrompt.h"
#include "log/Folders.h"
#include "ui/qt/WidgetNames.h"
#include "util/Shell.h"
#include "util/Text.h"

namespace pelkor {

namespace {

constexpr int kMaxListedFolders = 5000;

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Clean(const std::string& path) {
    std::string p = QDir::cleanPath(Q(path)).toStdString();
    return p.empty() ? path : p;
}

} // namespace

bool PickFolder(AppContext& app, QWidget* parent, std::string& folder) {
    FolderPickerDialog picker(app, folder, parent);
    if (picker.exec() != QDialog::Accepted) return false;
    folder = picker.Folder();
    return true;
}

std::vector<Volume> FolderPickerDialog::SystemVolumes() {
    std::vector<Volume> volumes;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        const std::string root = s.rootPath().toStdString();
        if (!IsUserVolume(root, s.fileSystemType().toStdString(), QFileInfo(s.rootPath()).isDir()))
            continue;
        volumes.push_back({root, s.name().toStdString(), s.isValid() && s.isReady()});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.Root < b.Root; });
    volumes.erase(std::unique(volumes.begin(), volumes.end(),
                              [](const Volume& a, const Volume& b) { return a.Root == b.Root; }),
                  volumes.end());
    return volumes;
}

bool FolderPickerDialog::CheckVolume(const Volume& volume, std::string& error) {
    QStorageInfo info(Q(volume.Root));
    info.refresh();
    if (!info.isValid() || !info.isReady()) {
        error = "The volume is not ready";
        return false;
    }
    return ListRoot(volume.Root, error);
}

FolderPickerDialog::FolderPickerDialog(AppContext& app, const std::string& folder, QWidget* parent,
                                       VolumeSource volumes, VolumeCheck check)
    : QDialog(parent), app_(app), folder_(folder), volumes_(volumes ? volumes() : SystemVolumes()),
      check_(std::move(check)) {
    setObjectName("frmPath");
    setWindowTitle("Pelkor Change Directory");
    setModal(true);

    auto* prompt = new QLabel("Enter or select a folder.", this);
    prompt->setObjectName("lblPrompt");
    auto* lblPath = new QLabel("Path:", this);
    lblPath->setObjectName("lblPath");
    path_ = new QLineEdit(this);
    path_->setObjectName("txtPath");
    lblPath->setBuddy(path_);
    auto* lblDirs = new QLabel("Folders:", this);
    lblDirs->setObjectName("lblDirs");
    dirs_ = new QTreeWidget(this);
    dirs_->setObjectName("dirDirs");
    dirs_->setHeaderHidden(true);
    dirs_->setRootIsDecorated(false);
    dirs_->setIndentation(16);
    dirs_->setAccessibleName("Folders:");
    dirs_->setIconSize(QSize(16, 16));
    lblDirs->setBuddy(dirs_);
    auto* lblDrives = new QLabel("Drives:", this);
    lblDrives->setObjectName("lblDrives");
    drives_ = new QComboBox(this);
    drives_->setObjectName("drvDrives");
    drives_->setAccessibleName("Drives:");
    lblDrives->setBuddy(drives_);
    for (const Volume& v : volumes_)
        drives_->addItem(Q(VolumeText(v)));
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdCancel");

    auto* grid = new QGridLayout(this);
    grid->addWidget(prompt, 0, 0, 1, 2);
    grid->addWidget(lblPath, 1, 0, 1, 2);
    grid->addWidget(path_, 2, 0);
    grid->addWidget(lblDirs, 3, 0);
    grid->addWidget(dirs_, 4, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 2, 1, 3, 1);
    grid->addWidget(lblDrives, 5, 0);
    grid->addWidget(drives_, 6, 0);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(4, 1);
    resize(440, 380);

    // Start on the folder; a folder that is gone starts at the root of its
    // volume, and failing that at the root of the user data folder's volume.
    if (!ShowFolder(folder_)) {
        const int v = VolumeIndexOf(volumes_, Clean(folder_));
        if (v < 0 || !ShowFolder(volumes_[v].Root)) {
            const int p = VolumeIndexOf(volumes_, app_.UserDataFolder);
            if (p < 0 || !ShowFolder(volumes_[p].Root)) ShowFolder("/");
        }
    }
    FollowDrive();
    lastGoodDrive_ = drives_->currentIndex();
    path_->setText(Q(folder_));
    path_->selectAll();
    path_->setFocus();

    connect(drives_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &FolderPickerDialog::OnDriveChanged);
    connect(dirs_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item, int) { OnFolderActivated(item); });
    connect(dirs_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) { OnFolderSelected(item); });
    connect(ok, &QPushButton::clicked, this, &FolderPickerDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

// Fills the folder list like a directory list box: the folders from the
// volume's root down to this one, then this one's subfolders.
bool FolderPickerDialog::ShowFolder(const std::string& rawFolder) {
    if (rawFolder.empty() || rawFolder[0] != '/') return false;
    const std::string folder = Clean(rawFolder);
    QDir dir(Q(folder));
    if (!dir.exists()) return false;

    const bool wasGuarded = guard_;
    guard_ = true;
    listed_ = folder;
    dirs_->clear();
    const int v = VolumeIndexOf(volumes_, folder);
    const std::string top = v >= 0 ? volumes_[v].Root : "/";
    std::vector<std::string> chain;
    for (std::string p = folder; !p.empty(); p = ParentOf(p)) {
        chain.insert(chain.begin(), p);
        if (p == top || chain.size() > 256) break;
    }
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirIcon);
    QTreeWidgetItem* parent = nullptr;
    for (const std::string& p : chain) {
        const std::string name = parent ? p.substr(p.rfind('/') + 1) : p;
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(dirs_);
        item->setIcon(0, open);
        item->setText(0, Q(name));
        item->setData(0, Qt::UserRole, Q(p));
        parent = item;
    }
    const QStringList subs = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                           QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (int i = 0; i < subs.size() && i < kMaxListedFolders; ++i) {
        auto* item = new QTreeWidgetItem(parent);
        item->setIcon(0, closed);
        item->setText(0, subs[i]);
        item->setData(
            0, Qt::UserRole,
            Q(folder == "/" ? "/" + subs[i].toStdString() : folder + "/" + subs[i].toStdString()));
    }
    dirs_->expandAll();
    dirs_->setCurrentItem(parent);
    guard_ = wasGuarded;
    return true;
}

void FolderPickerDialog::FollowDrive() {
    const int v = VolumeIndexOf(volumes_, listed_);
    const bool wasGuarded = guard_;
    guard_ = true;
    drives_->setCurrentIndex(v);
    guard_ = wasGuarded;
}

void FolderPickerDialog::OnDriveChanged(int index) {
    if (guard_ || index < 0 || index >= static_cast<int>(volumes_.size())) return;
    const Volume v = volumes_[index];
    std::string root;
    const RootLister lister = [this, &v](const std::string&, std::string& error) {
        return check_(v, error);
    };
    if (GetDriveRoot(v.Root, root) &&
        CheckDrive(DrivePromptOf(app_.Ui), v.Root, VolumeText(v), lister) && ShowFolder(v.Root)) {
        lastGoodDrive_ = index;
        path_->setText(Q(listed_));
    }
    guard_ = true;
    drives_->setCurrentIndex(lastGoodDrive_);
    guard_ = false;
}

void FolderPickerDialog::OnFolderActivated(QTreeWidgetItem* item) {
    if (guard_ || !item) return;
    // Deferred: the list is refilled, which deletes the item being activated.
    const std::string target = item->data(0, Qt::UserRole).toString().toStdString();
    QMetaObject::invokeMethod(
        this,
        [this, target] {
            if (!ShowFolder(target)) return;
            path_->setText(Q(listed_));
            FollowDrive();
            lastGoodDrive_ = drives_->currentIndex();
        },
        Qt::QueuedConnection);
}

void FolderPickerDialog::OnFolderSelected(QTreeWidgetItem* item) {
    if (guard_ || !item) return;
    path_->setText(item->data(0, Qt::UserRole).toString());
}

void FolderPickerDialog::OnOk() {
    const std::string typed = Trim(path_->text().toStdString());
    const std::string chosen = ResolveTypedFolder(typed, listed_, QDir::homePath().toStdString());
    if (!EnsureFolder(app_, chosen)) {
        path_->setFocus();
        path_->selectAll();
        return;
    }
    if (chosen != folder_) {
        folder_ = chosen;
        accepted_ = true;
    }
    accept();
}

} // namespace pelkor
