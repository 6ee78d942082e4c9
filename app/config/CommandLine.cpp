#include "config/CommandLine.h"

#include <filesystem>
#include <system_error>

#include "config/PrivateProfile.h"
#include "config/StartFile.h"
#include "log/Folders.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

const char* const kTitle = "Pelkor";

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void Show(AppContext& app, const std::string& text, MsgIcon icon) {
    app.Ui.MessageBox(text, kTitle, icon, MsgButtons::Ok, MsgAnswer::Ok);
}

}  // namespace

std::string CommandFilePath(const AppContext& app) { return JoinPath(app.UserDataFolder, CommandFileName); }

std::string DefaultStartFilePath(const AppContext& app) { return JoinPath(app.UserDataFolder, DefaultStartFileName); }

std::string CommandTextFromArgs(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc && argv && argv[i]; ++i) args.emplace_back(argv[i]);
    return CommandTextFromArgs(args);
}

std::string CommandTextFromArgs(const std::vector<std::string>& args) { return Join(args, " "); }

std::string ReadCommandFile(AppContext& app, const std::string& file) {
    std::string value, error;
    if (!ReadProfileString(file, "Pelkor", "Command", value, error)) {
        app.Status.LastErrorText = error;
        Show(app, "Command Error on " + file, MsgIcon::Critical);
        return {};
    }
    std::size_t comment = value.find(";;");
    if (comment != std::string::npos) value.erase(comment);
    // "\" marks a path inside the data folder (the program's folder on
    // Windows); its separators become "/" here.
    if (!value.empty() && value.front() == '\\') value = JoinPath(app.UserDataFolder, ReplaceAll(value.substr(1), "\\", "/"));
    Show(app, "Command Line from text file = " + value, MsgIcon::Information);
    return value;
}

CommandLineResult GetCommandLine(AppContext& app, const std::string& commandText, const std::string& currentFolder) {
    namespace fs = std::filesystem;
    AppSettings& s = app.Settings;
    std::string text;
    try {
        s.StartFile = DefaultStartFilePath(app);
        const std::string commandFile = CommandFilePath(app);
        std::error_code ec;
        text = fs::exists(commandFile, ec) ? ReadCommandFile(app, commandFile) : commandText;
        if (Trim(text).empty()) return CommandLineResult::NoCommand;

        std::string work = ReplaceAll(text, "\"", "");
        std::size_t pg5 = FindNoCase(work, "PG5=");
        if (pg5 == std::string::npos) {
            Show(app, std::string(kTitle) + " cannot start : Missing PG5 Version.", MsgIcon::Critical);
            return CommandLineResult::EndProgram;
        }
        int16_t dll = 0;
        ToInt16(LeadingNumber(work.substr(pg5 + 4, 2)), dll);
        s.DLL = dll;
        work = Trim(work.substr(0, pg5));
        // The path must end in ".pelk"; a ".pelk" inside it (a folder or a
        // ".pelk.bak" file) is not enough.
        if (!EndsWithNoCase(work, ".pelk")) {
            Show(app, std::string(kTitle) + " cannot start : Missing Settings File.", MsgIcon::Critical);
            return CommandLineResult::EndProgram;
        }
        if (work.front() != '/') work = JoinPath(currentFolder, work);
        s.StartFile = work;
    } catch (const std::exception& e) {
        Show(app, std::string("GetCommandLine function error : ") + e.what(), MsgIcon::Exclamation);
        return CommandLineResult::NotFound;
    }

    std::string description;
    try {
        fs::file_status st = fs::status(s.StartFile);
        bool exists = fs::exists(st);
        if (exists && !fs::is_regular_file(st)) throw fs::filesystem_error("not a file", s.StartFile, std::make_error_code(std::errc::is_a_directory));
        if (exists && fs::file_size(s.StartFile) > 0) return CommandLineResult::Found;

        bool folderReady = false;
        if (!exists) {
            s.StartFile = DefaultStartFilePath(app);
            // An existing default job is used as it is, never overwritten.
            fs::file_status ds = fs::status(s.StartFile);
            if (fs::is_regular_file(ds) && fs::file_size(s.StartFile) > 0) return CommandLineResult::Found;
            folderReady = EnsureFolder(app, FolderOf(s.StartFile));
        }
        if (exists || folderReady) {
            const int task = app.Status.NextTask;
            if (WriteStartFileSettings(app) && WriteStartFileTask(app, task, task) &&
                CopyPg5DefaultsIfAvailable(app, s.StartFile))
                return CommandLineResult::Found;
        }
    } catch (const std::exception& e) {
        description = e.what();
    }
    Show(app, "Bad commande line argument\r" + text + "\r" + description, MsgIcon::Exclamation);
    return CommandLineResult::NotFound;
}

}  // namespace pelkor
