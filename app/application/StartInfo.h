#pragma once
// What the start-info and about windows show and do, without the windows:
// the start-info text, the version line, which PG5 versions get the three
// add-on buttons, and the add-on installation itself.

#include <array>
#include <functional>
#include <string>

namespace pelkor {

struct AppContext;

// The start-info text, lines joined by CR LF.
std::string StartInfoText();
// "Version " + major.minor.rrr (revision with three digits).
std::string VersionText();

// One of the about window's three add-on buttons.
struct Pg5Button {
    std::string Caption; // "PG5 2.0"; empty when no version was walked to it
    bool Enabled = false;
    int Version = 0; // the tag: 13..20, 0 when disabled
};
// Walks the versions from 20 down to 13; installed(v) tells whether PG5 v is
// there. The newest installed versions, at most three, get the buttons.
std::array<Pg5Button, 3> Pg5Buttons(const std::function<bool(int version)>& installed);

// Installs the add-on description for PG5 `version` into `localDir` (that
// version's data folder), with every "$(AppPath)" of the template replaced by
// programFolder. Every outcome is told through app.Ui; true when installed.
bool InstallPg5AddOn(AppContext& app, int version, const std::string& localDir,
                     const std::string& programFolder);

// The web page lblWWW opens (without "http://").
inline constexpr const char* MakerWebAddress = "www.pelkor.org";
// "http://" + address through the shell; an address without "www." is
// refused with "Bad Internet address : " + address.
using OpenAddress = std::function<bool(const std::string& url)>;
bool OpenWebAddress(AppContext& app, const std::string& address, const OpenAddress& open);

} // namespace pelkor
