#pragma once
// Start files (".pelk"): the program options, the connection and every task,
// read and written key by key through the private-profile layer.
//
// Layout: [Pelkor] Version, SingleShot, Locked, Hidden, Minimized, MinPelkor,
// Visible, LogFolder, LogUsed, ReadWindow, DDEServer, Task, Shutdown;
// [Connection] AutoConnect, Station, AutoStation, IPAddress, PG5Settings, DLL,
// Port, Baudrate (the built-in library's channel);
// [GoOnline] Channel, Station, AutoStation, IPAddress (the PG5 channel);
// [Task1] ... [Taskn] the task keys.

#include <cstdint>
#include <functional>
#include <string>

#include "core/AppContext.h"

namespace pelkor {

constexpr int StartFileVersion = 3;

// A start-file value: the profile value up to its first ";;" (the rest of
// the line is a comment), not trimmed after the cut; empty when missing.
std::string GetIniString(const std::string& file, const std::string& section,
                         const std::string& key);
// Writes one key; true on success (failure through the result only).
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);

// Writes [Pelkor] "Task" = TaskCount, then removes the section with all its
// keys; true on success. Used when a task is deleted.
bool ClearStartFileSection(AppContext& app, const std::string& file, const std::string& section);

// Loads AppSettings and tasks 1..TaskCount from app.Settings.StartFile.
// On a bad file (Version missing or below 1, a value that cannot be taken)
// logs "Bad start file: <file> - <reason>" (code 2), shows "ReadPelkorStartFile
// function error : <reason>" and returns false; what was applied before the
// failure stays applied. When the [GoOnline] "Channel" is empty and the PG5
// channel is available (Status.PG5Available and app.Pg5), the PG5 channel
// settings are copied into the start file.
bool ReadPelkorStartFile(AppContext& app);

// Writes the settings block into app.Settings.StartFile (or the given file);
// all keys or none. Failure: critical message "Settings writing aborted in
// the file : <file>", false.
bool WriteStartFileSettings(AppContext& app);
bool WriteStartFileSettings(AppContext& app, const std::string& file);

// Writes task `task` into section "Task<sectionNumber>" of
// app.Settings.StartFile (and [Pelkor] "Task" = TaskCount); all keys or none.
// "Title" is never written; keys not written keep their values in the file.
// Failure: critical message "Data writing aborted in the file : <file>", false.
bool WriteStartFileTask(AppContext& app, int sectionNumber, int task);

// Copies [GoOnline] Station, AutoStation and IPAddress of `file` into
// AppSettings and into [Connection] of the same file. setCurrentStation, when
// given, receives the new common station (the connection manager's current
// station). Failure: logged "SaveConnectionParameters Error : <StartFile> -
// <reason>" (code 2), message "SaveConnectionParameters function error :
// <reason>", false.
bool SaveConnectionParameters(AppContext& app, const std::string& file,
                              const std::function<void(int16_t)>& setCurrentStation = {});

// The PG5 channel settings step: calls app.Pg5->CopyPg5Defaults(app, file)
// when the PG5 channel is available; otherwise does nothing and succeeds.
bool CopyPg5DefaultsIfAvailable(AppContext& app, const std::string& file);

} // namespace pelkor
