#pragma once
// A work folder for fuzz targets that write files: memory-backed when
// possible (start-file writes are flushed to disk), removed at exit. Never
// destroyed, so the exit handler can still use it.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string& FuzzFolder() {
    static const std::string* folder = [] {
        char shm[] = "/dev/shm/pelkor-fuzz-XXXXXX";
        char tmp[] = "/tmp/pelkor-fuzz-XXXXXX";
        const char* made = ::mkdtemp(shm);
        if (!made) made = ::mkdtemp(tmp);
        if (!made) ::abort();
        auto* path = new std::string(made);
        std::atexit([] { std::filesystem::remove_all(FuzzFolder()); });
        return path;
    }();
    return *folder;
}
