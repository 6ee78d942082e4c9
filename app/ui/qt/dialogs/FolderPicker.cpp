#include "ui/qt/dialogs/FolderPicker.h"

#include <QFileDialog>

#include "tasks/AppContext.h"

namespace pelkor {

// Stand-in: the toolkit's own folder dialog until frmPath is built.
bool PickFolder(AppContext&, QWidget* parent, std::string& folder) {
    const QString chosen = QFileDialog::getExistingDirectory(parent, "Pelkor Change Directory",
                                                             QString::fromStdString(folder));
    if (chosen.isEmpty()) return false;
    folder = chosen.toStdString();
    return true;
}

}  // namespace pelkor
