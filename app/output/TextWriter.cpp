// Output path composition and the text (".csv") writer.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "log/Folders.h"
#include "output/Output.h"
#include "util/AtomicFile.h"
#include "util/Path.h"
#include "util/Text.h"

namespace pelkor {

bool ComposeOutputPath(AppContext& app, int taskNumber) {
    return ComposeOutputPath(app, taskNumber, app.Clk.Now());
}

bool ComposeOutputPath(AppContext& app, int taskNumber, Date stamp) {
    Task& task = app.Tasks[taskNumber];
    std::string folder = task.OutFolder.empty() ? app.UserDataFolder : task.OutFolder;
    if (!task.OutFolder.empty() && !FolderExists(task.OutFolder)) {
        // No message box: an unattended logger must not stop on a dialog; the
        // reader logs the failure.
        if (!CreateFolderPath(app, task.OutFolder, false) || !FolderExists(task.OutFolder)) {
            app.Status.LastErrorText = "Bad output file directory: " + task.OutFolder;
            return false;
        }
    }
    task.OutputPath = JoinPath(folder, task.FileName + PeriodSuffix(task, stamp) +
                                           OutputExtension(OutputKindOf(task)));
    return true;
}

namespace {

std::string SystemError(const std::string& what, const std::string& path, int error) {
    return what + " " + path + " : " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Records already in a file: its lines (a last line without its CR LF still
// counts), less a head line when the file starts with one.
bool CountRecords(int fd, const Task& task, int32_t& records) {
    char buffer[1 << 16];
    long long lines = 0;
    char last = '\n';
    off_t offset = 0;
    std::string start; // the first two lines
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            if (lines < 2) start += buffer[i];
            if (buffer[i] == '\n') ++lines;
        }
        last = buffer[n - 1];
        offset += n;
    }
    if (last != '\n') ++lines;
    std::vector<std::vector<std::string>> firstTwo;
    for (const std::string& line : Split(start, '\n')) {
        if (firstTwo.size() == 2) break;
        std::string text = line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        firstTwo.push_back(Split(text, ';'));
    }
    if (lines > 0 && !firstTwo.empty() &&
        StartsWithHeadLine(task, firstTwo[0],
                           lines > 1 && firstTwo.size() > 1 ? &firstTwo[1] : nullptr))
        --lines;
    records = lines > 2147483647LL ? 2147483647 : static_cast<int32_t>(lines);
    return true;
}

} // namespace

bool WriteTextRecord(AppContext& app, int taskNumber) {
    Task& task = app.Tasks[taskNumber];
    const std::string& path = task.OutputPath;
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        app.Status.LastErrorText = SystemError("Cannot open", path, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        app.Status.LastErrorText = SystemError("Cannot read the length of", path, errno);
        ::close(fd);
        return false;
    }

    int32_t counter = task.LineCounter;
    // A program started anew finds LineCounter at 0 in front of a file that
    // already holds records: go on numbering after them, not from 1.
    if (counter == 0 && st.st_size > 0 && task.LineCount != 0 && !CountRecords(fd, task, counter)) {
        app.Status.LastErrorText = SystemError("Cannot read", path, errno);
        ::close(fd);
        return false;
    }

    std::string data;
    if (st.st_size == 0 && task.HeadLines != 0) data = BuildHeadLine(task) + "\r\n";
    // A last line left without its end (edited by hand) would swallow the
    // record: end it first.
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') data = "\r\n";
    counter = counter == 2147483647 ? 0 : counter + 1;
    if (task.LineCount != 0) data += std::to_string(counter) + ";";
    data += task.LastValues;
    data += "\r\n";

    const int injected = FileFault(FileStep::Append);
    if (injected != 0 || !WriteAll(fd, data)) {
        const int error = injected != 0 ? injected : errno;
        // A half-written line would shift every column after it: take it back.
        const bool undone = ::ftruncate(fd, st.st_size) == 0;
        ::close(fd);
        app.Status.LastErrorText = SystemError("Cannot write to", path, error);
        if (!undone) app.Status.LastErrorText += " (part of the line remains in the file)";
        return false;
    }
    if (::close(fd) != 0) {
        app.Status.LastErrorText = SystemError("Cannot close", path, errno);
        return false;
    }
    task.LineCounter = counter;
    return true;
}

} // namespace pelkor
