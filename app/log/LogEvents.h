#pragma once
// The one reporting routine: every event shows on the status line and, when
// the log is used, is appended to the event log file "Pelkor.txt" (UTF-8,
// CR LF), which rolls over to a "bak" file above 100000 bytes.

#include <string>

#include "core/AppContext.h"

namespace pelkor {

constexpr long LogFileLimit = 100000;

// Code 0 separator line, 1 information, anything else error. Returns false
// when the log file could not be written; the reason is then in
// app.Status.LastErrorText, for the caller's error handling. Returns true
// when nothing had to be written (log not used, repeated information).
bool LogEvent(AppContext& app, int code, const std::string& text);

// The log file of a log folder: folder + "Pelkor.txt", with a "/" between
// them unless the folder ends in "/" or "\".
std::string LogFileOf(const std::string& logFolder);
// Sets LogFolder and recomputes LogFile.
void SetLogFolder(AppSettings& settings, const std::string& folder);

// The backup name of a log file: up to and including its last "." (of the
// file name), then "bak"; a name without "." gets ".bak".
std::string LogBackupName(const std::string& logFile);

} // namespace pelkor
