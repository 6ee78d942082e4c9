#include "config/CommandLine.h"

#include <filesystem>
#include <system_error>

#include "config/PrivateProfile.h"
#include "config/StartFile.h"
#include "log/Folders.h"
#include "util/Number.h"
#include "util/Path.h"
#include "util/Text.h"

namespace pelkor {

namespace {

const char* const kTitle = "Pelkor";

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void Show(AppContext& app, const std::string& text, MsgIcon icon) {
    app.Ui.MessageBox(text, kTitle, icon, MsgButtons::Ok, MsgAnswer::Ok);
}

} // namespace

std::string CommandFilePath(const AppContext& app) {
    return JoinPath(app.UserDataFolder, CommandFileName);
}

std::string DefaultStartFilePath(const AppContext& app) {
    return JoinPath(app.UserDataFolder, DefaultStartFileName);
}

std::string CommandTextFromArgs(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc && argv && argv[i]; ++i)
        args.emplace_back(argv[i]);
    return CommandTextFromArgs(args);
}

std::string CommandTextFromArgs(const std::vector<std::string>& args) {
    return Join(args, " ");
}

bool CommandFileValue(const std::string& userDataFolder, const std::string& file,
                      std::string& value, std::string& error) {
    value.clear();
    if (!ReadProfileString(file, "Pelkor", "Command", value, error)) return false;
    std::size_t comment = value.find(";;");
    if (comment != std::string::npos) value.erase(comment);
    // "\" marks a path inside the data folder (the program's folder on
    // Windows); its separators become "/" here.
    if (!value.empty() && value.front() == '\\')
        value = JoinPath(userDataFolder, ReplaceAll(value.substr(1), "\\", "/"));
    return true;
}

std::string ReadCommandFile(AppContext& app, const std::string& file) {
    std::string value, error;
    if (!CommandFileValue(app.UserDataFolder, file, value, error)) {
        app.Status.LastErrorText = error;
        Show(app, "Command Error on " + file, MsgIcon::Critical);
        return {};
    }
    Show(app, "Command Line from text file = " + value, MsgIcon::Information);
    return value;
}

CommandParse ParseCommandText(const std::string& text, const std::string& currentFolder) {
    CommandParse r;
    std::string work = ReplaceAll(text, "\"", "");
    std::size_t pg5 = FindNoCase(work, "PG5=");
    if (pg5 == std::string::npos) {
        r.Problem = "Missing PG5 Version.";
        return r;
    }
    ToInt16(LeadingNumber(work.substr(pg5 + 4, 2)), r.DLL);
    work = Trim(work.substr(0, pg5));
    // The path must end in ".pelk"; a ".pelk" inside it (a folder or a
    // ".pelk.bak" file) is not enough.
    if (!EndsWithNoCase(work, ".pelk")) {
        r.Problem = "Missing Settings File.";
        return r;
    }
    r.StartFile = work.front() == '/' ? work : JoinPath(currentFolder, work);
    return r;
}

bool HiddenSingleShotCommand(const std::string& userDataFolder, const std::string& commandText,
                             const std::string& currentFolder) {
    std::string text = commandText, error;
    const std::string commandFile = JoinPath(userDataFolder, CommandFileName);
    std::error_code ec;
    if (std::filesystem::exists(commandFile, ec) &&
        !CommandFileValue(userDataFolder, commandFile, text, error))
        return false;
    const CommandParse c = ParseCommandText(text, currentFolder);
    if (c.StartFile.empty()) return false;
    return LeadingNumber(GetIniString(c.StartFile, "Pelkor", "SingleShot")) > 0 &&
           LeadingNumber(GetIniString(c.StartFile, "Pelkor", "Hidden")) > 0;
}

CommandLineResult GetCommandLine(AppContext& app, const std::string& commandText,
                                 const std::string& currentFolder) {
    namespace fs = std::filesystem;
    AppSettings& s = app.Settings;
    std::string text;
    try {
        s.StartFile = DefaultStartFilePath(app);
        const std::string commandFile = CommandFilePath(app);
        std::error_code ec;
        text = fs::exists(commandFile, ec) ? ReadCommandFile(app, commandFile) : commandText;
        if (Trim(text).empty()) return CommandLineResult::NoCommand;

        const CommandParse c = ParseCommandText(text, currentFolder);
        if (!c.Problem.empty()) {
            Show(app, std::string(kTitle) + " cannot start : " + c.Problem, MsgIcon::Critical);
            return CommandLineResult::EndProgram;
        }
        s.DLL = c.DLL;
        s.StartFile = c.StartFile;
    } catch (const std::exception& e) {
        Show(app, std::string("GetCommandLine function error : ") + e.what(), MsgIcon::Exclamation);
        return CommandLineResult::NotFound;
    }

    std::string description;
    try {
        fs::file_status st = fs::status(s.StartFile);
        bool exists = fs::exists(st);
        if (exists && !fs::is_regular_file(st))
            throw fs::filesystem_error("not a file", s.StartFile,
                                       std::make_error_code(std::errc::is_a_directory));
        if (exists && fs::file_size(s.StartFile) > 0) return CommandLineResult::Found;

        bool folderReady = false;
        if (!exists && app.Ui.Unattended()) {
            // Nobody would notice a default job running in place of the named one.
            Show(app, "Start file not found : " + s.StartFile, MsgIcon::Critical);
            return CommandLineResult::NotFound;
        }
        if (!exists) {
            s.StartFile = DefaultStartFilePath(app);
            // An existing default job is used as it is, never overwritten.
            fs::file_status ds = fs::status(s.StartFile);
            if (fs::is_regular_file(ds) && fs::file_size(s.StartFile) > 0)
                return CommandLineResult::Found;
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

} // namespace pelkor
