#pragma once
// Making sure folders exist (start files, output and log folders, folder
// choosers).

#include <string>

#include "core/AppContext.h"

namespace pelkor {

// True when the folder exists or was created. One trailing "/" or "\" is
// ignored. Messages as CreateFolderPath with messages shown.
bool EnsureFolder(AppContext& app, const std::string& folder);

// True when path names an existing folder; never fails.
bool FolderExists(const std::string& folder);

// Creates every missing level of path. When the root cannot be read, or a
// level cannot be created, shows (when showMessages) "Cannot create the new
// directory :" with the path and "Change the path." titled "Create new
// directory", puts the reason in app.Status.LastErrorText and returns false.
bool CreateFolderPath(AppContext& app, const std::string& path, bool showMessages = true);

} // namespace pelkor
