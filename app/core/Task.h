#pragma once
// The three shared records of a run: the task table, the application-wide
// settings and the run-time status. The application object owns one of each
// (see AppContext.h); everything else receives them by reference.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/Date.h"

namespace pelkor {

constexpr int MaxTasks = 100;

// One item of a task's resource list, parsed, with the values of its last
// reading.
struct ResourceEntry {
    char Kind = '\0'; // R, F, I, K (clock); '\0' no variable
    int16_t Count = 0;
    int16_t Address = 0;
    std::string Label;
    std::string StationText; // the station as the list names it; empty inherited
    std::string Head;
    std::string Values; // ";v1;v2..." of the last reading
    int16_t Station = 0;
    bool StationInherited = false;
    bool StationFailed = false;
};

struct Task {
    int16_t Disabled = 0;
    std::string Comments;
    int16_t IntervalUnit = 0; // 0 Seconds, 1 Minutes, 2 Hours, 3 Days
    int32_t ReadInterval = 60;
    Date ReadHour = 0;
    Date NextRead = 0; // <= 0: not scheduled
    Date Period = 0;   // days between readings
    int32_t RowsWritten = 0;
    int16_t Settings = 1; // 1: common connection settings
    std::string IPAddress;
    int16_t SBus = 0;
    int16_t Auto = 0;
    std::string OutFolder;
    std::string FormatTime;
    int16_t FormatUsed = 0;
    std::string FileName = "PCD_Data";
    int16_t FileIndex = 1;
    std::string FileType; // "CSV", "XLS", or containing "None"
    std::string StartCell;
    std::string OutSheet;
    int32_t ExcelRow = 0;
    int32_t ExcelColumn = 0;
    int16_t Orientation = 0; // 0 Rows, 1 Columns
    int16_t Overwrite = 0;
    int16_t FileNew = 0; // 0 day, 1 week, 2 month, 3 never
    // The four headline keys each carry a flag and a headline text.
    int16_t LineCount = 0;
    int16_t TimeStamp = 1;
    int16_t MissValues = 0;
    int16_t TaskNumber = 0;
    std::string LineCountText;
    std::string TimeStampText;
    std::string MissValuesText;
    std::string TaskNumberText;
    std::string Title;
    std::string Data; // resource list, upper case
    std::string DataHead;
    int16_t HeadLines = 0;
    std::string DataFile;
    std::string DataSheet;
    std::string DataCell;
    std::string OutputPath;
    int16_t ResourceCount = 0;
    int16_t AddressCount = 0;
    std::string LastValues;

    // Parsed resource table: one entry per item of the list, in list order;
    // never empty.
    std::vector<ResourceEntry> Resources = {ResourceEntry{}};

    int16_t StationCount = 0;
    int16_t FailedStations = 0;
    int32_t ReadMissing = 0;
    int32_t LineCounter = 0;
    std::string LastMessage;
    std::string TaskError;

    // The entries the list declares: the first ResourceCount, never past
    // the table whatever ResourceCount says.
    std::span<ResourceEntry> Entries() { return {Resources.data(), EntryCount()}; }
    std::span<const ResourceEntry> Entries() const { return {Resources.data(), EntryCount()}; }

private:
    std::size_t EntryCount() const {
        return std::min(static_cast<std::size_t>(std::max<int>(ResourceCount, 0)),
                        Resources.size());
    }
};

// Entries 0..MaxTasks; entry 0 is never a task. A number outside that range
// is a range error (std::out_of_range), as indexing a fixed table would be.
class TaskTable {
public:
    Task& operator[](int n) { return entries_.at(checked(n)); }
    const Task& operator[](int n) const { return entries_.at(checked(n)); }

private:
    static std::size_t checked(int n) {
        if (n < 0 || n > MaxTasks) throw std::out_of_range("Subscript out of range");
        return static_cast<std::size_t>(n);
    }
    std::array<Task, MaxTasks + 1> entries_{};
};

struct AppSettings {
    std::string StartFile;
    int16_t StartMode = 0; // 1 changeable start file, 2 locked
    int16_t SingleShot = 0;
    int16_t Hidden = 0;
    int16_t Minimized = 0;
    std::string LogFolder;
    std::string LogFile;
    int16_t LogUsed = 0;
    int16_t ReadWindow = 0;
    int16_t DDEServer = 0;
    int16_t TaskCount = 1; // 1..MaxTasks
    int16_t AutoConnect = 0;
    int16_t Station = 0;
    int16_t AutoStation = 0;
    std::string IPAddress;
    int16_t DLL = 0; // PG5 version as two digits; 0 none
    int16_t COM = 1;
    // The built-in library's channel ([Connection] "Port", "Baudrate"): a
    // device path or "udp:HOST[:PORT]", empty for port COM as before; a
    // baud rate of 0 is unset and means 9600.
    std::string Port;
    int32_t Baudrate = 9600;
};

struct RunStatus {
    int16_t Connected = 0;
    int16_t AutoConnectActive = 0;
    int16_t CurrentTask = 0;
    int16_t NextTask = 1;
    int16_t EditTask = 1;
    int16_t EditorOpen = 0;
    int32_t WriteCounter = 0;
    int16_t TotalPackets = 0;
    int16_t FailedPackets = 0;
    int32_t MissingValues = 0;
    std::string LastErrorText;
    int16_t ExcelMissing = 0;
    int16_t PG5Available = 0;
    int16_t PG5Version = 0;
    // Re-entry guards of the scheduler: a reading or a manual reading from
    // the task editor is under way.
    int16_t ReadingActive = 0;
    int16_t ManualReading = 0;
};

} // namespace pelkor
