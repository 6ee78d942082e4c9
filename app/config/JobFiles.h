#pragma once
// The start files a desktop user picks from: the recent list kept in the
// user's data folder and new jobs made from the shipped template. Windows
// (frmChoose) only show what these decide.

#include <string>
#include <vector>

namespace pelkor {

// In the user's data folder: one absolute start-file path a line, newest first.
constexpr const char* RecentFilesName = "Recent.txt";
constexpr std::size_t MaxRecentFiles = 10;
// Shipped under <share>/examples (beside the program in a build: examples/).
constexpr const char* NewJobTemplateName = "new-job.pelk";

// The recent start files that still exist, newest first.
std::vector<std::string> ReadRecentFiles(const std::string& dataFolder);

// Puts file at the head of the list (once), dropping the oldest beyond
// MaxRecentFiles. False with a message naming the list file in error.
bool RememberRecentFile(const std::string& dataFolder, const std::string& file, std::string& error);

// The data folder, created with its parents when missing (mode 0700 for what
// is made). False with a message in error.
bool InitDataFolder(const std::string& dataFolder, std::string& error);

// Where a new job called `name` goes: <dataFolder>/<name>.pelk (".pelk"
// added unless given). Refuses empty names, names with "/" or a leading
// ".", and a file that exists already, so nothing is overwritten.
bool NewJobPath(const std::string& dataFolder, const std::string& name, std::string& path,
                std::string& error);

// Copies the template to a new file at path (never over an existing one),
// creating the data folder first. False with a message in error.
bool CreateJobFromTemplate(const std::string& templateFile, const std::string& path,
                           std::string& error);

} // namespace pelkor
