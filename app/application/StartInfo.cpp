#include "application/StartInfo.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/AppContext.h"
#include "util/AppFolders.h"
#include "util/Text.h"

namespace pelkor {

namespace fs = std::filesystem;

namespace {
constexpr const char* AddOnTitle = "Pelkor as PG5 Add-On Tool";

// Every occurrence of "$(AppPath)", in any letter case.
std::string FillAppPath(const std::string& line, const std::string& folder) {
    static const std::string placeholder = "$(apppath)";
    const std::string lower = LowerCase(line);
    std::string out;
    std::size_t from = 0;
    for (std::size_t p = lower.find(placeholder); p != std::string::npos;
         p = lower.find(placeholder, from)) {
        out.append(line, from, p - from);
        out += folder;
        from = p + placeholder.size();
    }
    out.append(line, from, std::string::npos);
    return out;
}
} // namespace

std::string StartInfoText() {
    const std::string p = "Pelkor";
    const char* nl = "\r\n";
    return "Thank you for using Marvane software." + std::string(nl) + nl + p +
           " is an Add-On Tool for The SAIA-PG5 Utility." + nl + "If you are starting " + p +
           " for the fisrt time from " + nl + "the Windows Start menu, procede as follow:" + nl +
           nl + " - Register the " + p + " as PG5 Add-On Tool" + nl +
           " - Close the About window with the OK button" + nl + " - Restart PG5" + nl + nl +
           "Once installed as Add-On Tool, start the " + p + nl +
           "from the PG5, by creating a Pelkor file in the CPU." + nl + nl +
           "Read the Help for running the Pelkor without starting PG5.";
}

std::string VersionText() {
    char rev[8];
    std::snprintf(rev, sizeof rev, "%03d", PELKOR_VERSION_PATCH);
    return "Version " + std::to_string(PELKOR_VERSION_MAJOR) + "." +
           std::to_string(PELKOR_VERSION_MINOR) + "." + rev;
}

std::array<Pg5Button, 3> Pg5Buttons(const std::function<bool(int)>& installed) {
    std::array<Pg5Button, 3> b{};
    std::size_t k = 0;
    for (int v = 20; v >= 13 && k < b.size(); --v) {
        b[k].Caption = "PG5 " + std::to_string(v / 10) + "." + std::to_string(v % 10);
        if (installed(v)) {
            b[k].Enabled = true;
            b[k].Version = v;
            ++k;
        }
    }
    return b;
}

bool InstallPg5AddOn(AppContext& app, int version, const std::string& localDir,
                     const std::string& programFolder) {
    UserInterface& ui = app.Ui;
    if (version < 13 || version > 20) {
        ui.MessageBox("Unknow PG5 version ! " + std::to_string(version), "Pelkor",
                      MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    const std::string name = version == 20 ? "Pelkor52.5at" : "Pelkor.5at";
    const std::string source = FindShippedFile(name, programFolder);
    std::string target = TrimRight(localDir);
    if (target.empty() || (target.back() != '/' && target.back() != '\\')) target += "/";
    target += name;

    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) {
        ui.MessageBox("Cannot install Add-On Tool !\r\nFile not founded : " + source, AddOnTitle,
                      MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    std::string folder = programFolder;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();

    bool ok = false;
    {
        // A read-only copy left by an earlier installation is replaced.
        if (fs::exists(target, ec))
            fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::add, ec);
        std::ifstream in(source, std::ios::binary);
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        if (in && out) {
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                out << FillAppPath(line, folder) << "\r\n";
            }
            out.flush();
            ok = !in.bad() && static_cast<bool>(out);
        }
    }
    if (ok) {
        fs::permissions(target,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read,
                        fs::perm_options::replace, ec);
        ui.MessageBox("Pelkor will be installed as Add-On Tool on the next PG5 start.", AddOnTitle,
                      MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok);
        return true;
    }
    ui.MessageBox("PG5 Add-On Tool installation aborted.", AddOnTitle, MsgIcon::Critical,
                  MsgButtons::Ok, MsgAnswer::Ok);
    return false;
}

bool OpenWebAddress(AppContext& app, const std::string& address, const OpenAddress& open) {
    if (!ContainsNoCase(address, "www.")) {
        app.Ui.MessageBox("Bad Internet address : " + address, "Pelkor", MsgIcon::Exclamation,
                          MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    return open("http://" + address);
}

} // namespace pelkor
