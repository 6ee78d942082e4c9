#include "config/JobFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/PrivateProfile.h"
#include "util/AtomicFile.h"
#include "util/Text.h"

namespace pelkor {

namespace fs = std::filesystem;

namespace {

std::string ListPath(const std::string& dataFolder) {
    return (fs::path(dataFolder) / RecentFilesName).string();
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> ListedFiles(const std::string& dataFolder) {
    std::vector<std::string> files;
    std::ifstream in(ListPath(dataFolder), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '/' &&
            std::find(files.begin(), files.end(), line) == files.end())
            files.push_back(line);
    }
    return files;
}

} // namespace

std::vector<std::string> ReadRecentFiles(const std::string& dataFolder) {
    std::vector<std::string> files = ListedFiles(dataFolder);
    std::erase_if(files, [](const std::string& f) { return !IsFile(f); });
    if (files.size() > MaxRecentFiles) files.resize(MaxRecentFiles);
    return files;
}

bool RememberRecentFile(const std::string& dataFolder, const std::string& file,
                        std::string& error) {
    if (!InitDataFolder(dataFolder, error)) return false;
    std::error_code ec;
    const std::string absolute = fs::absolute(file, ec).lexically_normal().string();
    std::vector<std::string> files = ListedFiles(dataFolder);
    std::erase(files, absolute);
    files.insert(files.begin(), absolute);
    if (files.size() > MaxRecentFiles) files.resize(MaxRecentFiles);
    std::string text;
    for (const auto& f : files)
        text += f + "\r\n";
    return ReplaceFile(ListPath(dataFolder), text, error);
}

bool InitDataFolder(const std::string& dataFolder, std::string& error) {
    if (dataFolder.empty()) {
        error = "No data folder: neither XDG_DATA_HOME nor HOME names one.";
        return false;
    }
    std::error_code ec;
    if (fs::is_directory(dataFolder, ec)) return true;
    const mode_t old = ::umask(077);
    fs::create_directories(dataFolder, ec);
    ::umask(old);
    if (ec || !fs::is_directory(dataFolder)) {
        error = "Cannot create the data folder " + dataFolder + ": " +
                (ec ? ec.message() : "not a folder");
        return false;
    }
    return true;
}

bool NewJobPath(const std::string& dataFolder, const std::string& name, std::string& path,
                std::string& error) {
    const std::string trimmed = Trim(name);
    if (trimmed.empty() || trimmed[0] == '.' || trimmed.find('/') != std::string::npos) {
        error = "\"" + name +
                "\" is not a name for a start file: give a name without \"/\" that does not begin "
                "with \".\".";
        return false;
    }
    const std::string file = EndsWithNoCase(trimmed, ".pelk") ? trimmed : trimmed + ".pelk";
    path = (fs::path(dataFolder) / file).string();
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) {
        error = "The start file " + path + " exists already; choose another name or open it.";
        return false;
    }
    return true;
}

bool CreateJobFromTemplate(const std::string& templateFile, const std::string& path,
                           std::string& error) {
    std::ifstream in(templateFile, std::ios::binary);
    std::ostringstream text;
    if (!(text << in.rdbuf())) {
        error = "Cannot read the template " + templateFile + ".";
        return false;
    }
    if (!InitDataFolder(fs::path(path).parent_path().string(), error)) return false;
    // O_EXCL: a file that appeared meanwhile is never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string content = text.str();
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok = done == content.size() && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(path.c_str());
        error = "Cannot write " + path + ": " + std::strerror(saved);
        return false;
    }
    // Each job writes its own output file, named after the job.
    const std::string stem = fs::path(path).stem().string();
    if (!WriteProfileString(path, "Task1", "FileName", stem, &error)) {
        ::unlink(path.c_str());
        error = "Cannot name the output file in " + path + ": " + error;
        return false;
    }
    return true;
}

} // namespace pelkor
