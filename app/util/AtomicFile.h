#pragma once
// Replacing a whole file so that a crash, a kill or a full disk at any moment
// leaves either the old file or the new one, complete. Every file the program
// rewrites (start files, workbooks, ...) goes through here.
//
// The replacement follows symbolic links to the real file (the link stays a
// link), refuses a file or folder the user may not write (no write
// permission bit at all, as the Windows read-only attribute, or no access
// for this process), keeps the file's mode and, where allowed, its owner,
// and writes a temporary file beside it: write, fsync, rename over the
// file, fsync of the folder.

#include <functional>
#include <string>
#include <string_view>

namespace pelkor {

// Receives the new content piece by piece; false when a piece could not be
// written (the reason is the replacement's error).
using FileSink = std::function<bool(std::string_view)>;

// Produces the new content into the sink; false stops the replacement and
// leaves the old file untouched.
using FileProducer = std::function<bool(const FileSink&)>;

// False with a message naming the file in error when the file system
// refused; false with error left empty when the producer gave up on its own.
bool ReplaceFile(const std::string& path, const FileProducer& produce, std::string& error);
bool ReplaceFile(const std::string& path, std::string_view content, std::string& error);

// The file a write to path really changes: path itself, or what its chain of
// links points at (also when that file does not exist yet).
std::string ResolveLinks(const std::string& path);

// Steps of a replacement, in order, and the append of a record line.
enum class FileStep { CreateTemp, Write, SyncFile, Rename, SyncFolder, Append };

// Test seam for faults: called before each step; a non-zero result makes the
// step fail with that errno (ENOSPC for a full disk). A hook may also end the
// process there, as a crash would. Pass nullptr to remove it.
using FileFaultHook = std::function<int(FileStep)>;
void SetFileFaultHook(FileFaultHook hook);
// The fault the hook injects at a step; 0 without a hook.
int FileFault(FileStep step);

} // namespace pelkor
