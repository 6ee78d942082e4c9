#pragma once
// The command line and the command file: which start file to run and which
// PG5 version to use. Syntax: a start-file path ending in ".pelk", then
// "PG5=" and the two-digit PG5 version ("/data/My job.pelk PG5=20"). The
// same text can stand in the [Pelkor] "Command" key of "Command.txt" in the
// user's data folder, which then wins over the process's command line.

#include <cstdint>
#include <string>
#include <vector>

#include "core/AppContext.h"

namespace pelkor {

constexpr const char* CommandFileName = "Command.txt";
constexpr const char* DefaultStartFileName = "Default.pelk";

enum class CommandLineResult {
    Found,      // app.Settings.StartFile names a usable start file
    NoCommand,  // no command text: show the start information and end
    NotFound,   // the start file could not be found or made (message shown)
    EndProgram, // "cannot start" was shown: the caller ends the program
};

// The user's data folder + "/Command.txt" and + "/Default.pelk".
std::string CommandFilePath(const AppContext& app);
std::string DefaultStartFilePath(const AppContext& app);

// The process's command text: argv[1..] joined by single blanks.
std::string CommandTextFromArgs(int argc, const char* const* argv);
std::string CommandTextFromArgs(const std::vector<std::string>& args);

// Evaluates the command text (the command file's "Command" when that file
// exists, else commandText): sets StartFile and DLL ("PG5=" no longer selects
// the PG5 channel by itself), resolves a relative start file against
// currentFolder, and when the named start file is missing (the default start
// file in the data folder is used instead) or empty, writes the current
// settings, task NextTask and the PG5 channel settings into it. Never ends
// the program itself: on EndProgram the caller does.
CommandLineResult GetCommandLine(AppContext& app, const std::string& commandText,
                                 const std::string& currentFolder);

// A command text taken apart: the start file (resolved against
// currentFolder) and the "PG5=" number; Problem names what is missing
// ("Missing PG5 Version.", "Missing Settings File.").
struct CommandParse {
    std::string StartFile;
    int16_t DLL = 0;
    std::string Problem;
};
CommandParse ParseCommandText(const std::string& text, const std::string& currentFolder);

// The [Pelkor] "Command" value of a command file, comment cut, a leading "\"
// resolved against the data folder; false with error when it cannot be read.
bool CommandFileValue(const std::string& userDataFolder, const std::string& file,
                      std::string& value, std::string& error);

// Whether the command text the run will use (the command file's, when it
// exists, else commandText) names a hidden single-shot start file. Decides,
// before any display is touched, that the run gets no windows.
bool HiddenSingleShotCommand(const std::string& userDataFolder, const std::string& commandText,
                             const std::string& currentFolder);

// The [Pelkor] "Command" value of a command file; a value beginning with "\"
// is taken relative to the data folder. Shows "Command Line from text
// file = <value>" every time; an unreadable file shows "Command Error on
// <file>" and gives an empty text.
std::string ReadCommandFile(AppContext& app, const std::string& file);

} // namespace pelkor
