// Whole-file replacement: what a crashed writer left behind, and the reason
// given for a file system mounted read-only.

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/TempDir.h"
#include "util/AtomicFile.h"

namespace pelkor {
namespace {

pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(ReplaceFile, RemovesTheStaleTemporaryFilesOfProgramsNoLongerRunning) {
    TempDir dir;
    const std::string dead = std::to_string(DeadPid()), alive = std::to_string(::getppid());
    const std::string stale1 = dir.file(".book.xls." + dead + ".0.tmp");
    const std::string stale2 = dir.file(".job.pelk." + dead + ".7.tmp");
    const std::string live = dir.file(".book.xls." + alive + ".1.tmp");
    const std::string other = dir.file(".notes." + dead + ".tmp");
    for (const auto& f : {stale1, stale2, live, other})
        std::ofstream(f) << "x";
    std::string error;
    ASSERT_TRUE(ReplaceFile(dir.file("book.xls"), "new", error)) << error;
    EXPECT_FALSE(std::filesystem::exists(stale1));
    EXPECT_FALSE(std::filesystem::exists(stale2));
    EXPECT_TRUE(std::filesystem::exists(live)) << "a running writer may still fill it";
    EXPECT_TRUE(std::filesystem::exists(other)) << "not a name of ours";
}

// In a child with its own mount namespace, over a tmpfs mounted read-only.
TEST(ReplaceFile, AReadOnlyFileSystemIsNamedAsSuch) {
    TempDir dir;
    const std::string folder = dir.file("ro");
    std::filesystem::create_directory(folder);
    std::ofstream(dir.file("result"));
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWNS) != 0) ::_exit(2);
        if (::mount("none", folder.c_str(), "tmpfs", MS_RDONLY, nullptr) != 0) ::_exit(2);
        std::string error;
        const bool ok = ReplaceFile(folder + "/book.xls", "x", error);
        std::ofstream(dir.file("result")) << error;
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no mount namespace here";
    std::ifstream in(dir.file("result"));
    const std::string error((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(error.find("Read-only file system"), std::string::npos) << error;
    EXPECT_EQ(error.find("is read-only"), std::string::npos) << error;
}

} // namespace
} // namespace pelkor
