#include "log/Folders.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "core/DrivePrompt.h"
#include "util/Shell.h"
#include "util/Volumes.h"

namespace pelkor {

namespace {

const char* const kCreateTitle = "Create new directory";

bool Fail(AppContext& app, const std::string& path, bool showMessages, const std::string& reason) {
    app.Status.LastErrorText =
        "Cannot create the new directory : " + path + (reason.empty() ? "" : " : " + reason);
    if (showMessages)
        app.Ui.MessageBox("Cannot create the new directory :\n" + path + "\n\nChange the path.",
                          kCreateTitle, MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
    return false;
}

} // namespace

bool FolderExists(const std::string& folder) {
    if (folder.empty()) return false;
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EnsureFolder(AppContext& app, const std::string& folder) {
    std::string path = folder;
    if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    if (FolderExists(path)) return true;
    return CreateFolderPath(app, path, true);
}

bool CreateFolderPath(AppContext& app, const std::string& path, bool showMessages) {
    if (path.empty()) return Fail(app, path, showMessages, "no folder given");
    std::string root;
    if (!GetDriveRoot(path, root)) root.clear(); // relative: below the current folder
    // The volume the path belongs on must be there: a stick that is not
    // plugged in would otherwise get its folders on the root file system.
    // Read again on every retry, so plugging it in and retrying works.
    const RootLister volumeLister = [&path](const std::string& driveRoot, std::string& error) {
        std::string volume;
        if (!VolumeRootOf(path, ReadMountTable(), volume)) {
            error = "No volume mounted at " + volume;
            return false;
        }
        return ListRoot(volume.empty() ? driveRoot : volume, error);
    };
    if (!CheckDrive(DrivePromptOf(app.Ui), path, kCreateTitle, volumeLister))
        return Fail(app, path, showMessages, "");

    std::size_t pos = root.size();
    for (;;) {
        std::size_t next = path.find('/', pos);
        std::string level = next == std::string::npos ? path : path.substr(0, next);
        if (!level.empty() && level != root && !FolderExists(level)) {
            if (::mkdir(level.c_str(), 0777) != 0 && !(errno == EEXIST && FolderExists(level)))
                return Fail(app, path, showMessages, std::strerror(errno));
        }
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    return true;
}

} // namespace pelkor
