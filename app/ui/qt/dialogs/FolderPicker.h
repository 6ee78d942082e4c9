#pragma once
// frmPath: the modal folder picker ("Pelkor Change Directory").

#include <string>

class QWidget;

namespace pelkor {

struct AppContext;

// Shows the picker on `folder`; true with the chosen folder in `folder` on OK,
// false (folder unchanged) on Cancel.
bool PickFolder(AppContext& app, QWidget* parent, std::string& folder);

}  // namespace pelkor
