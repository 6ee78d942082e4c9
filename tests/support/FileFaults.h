#pragma once
// Crashes and full disks for the file writers, through the file fault hook.

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "util/AtomicFile.h"

namespace pelkor {

inline constexpr FileStep ReplaceSteps[] = {FileStep::CreateTemp, FileStep::Write,
                                            FileStep::SyncFile, FileStep::Rename,
                                            FileStep::SyncFolder};

// Runs write in a child process that ends abruptly (no clean-up, no flush)
// when it reaches step, as a crash or a kill would. True when it got there.
inline bool CrashAt(FileStep step, const std::function<void()>& write) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        SetFileFaultHook([step](FileStep s) {
            if (s == step) ::_exit(0);
            return 0;
        });
        write();
        ::_exit(1);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Every write fails with ENOSPC while it lives.
struct FullDisk {
    explicit FullDisk(FileStep at = FileStep::Write) {
        SetFileFaultHook([at](FileStep s) { return s == at ? ENOSPC : 0; });
    }
    ~FullDisk() { SetFileFaultHook(nullptr); }
};

} // namespace pelkor
