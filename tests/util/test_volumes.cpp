#include <gtest/gtest.h>

#include <cstdlib>

#include <cerrno>
#include <set>

#include "support/TempDir.h"
#include "util/SerialDevices.h"
#include "util/Volumes.h"

using namespace pelkor;

namespace {

MountTable Table() {
    return {{"/", "/home", "/media/root/STICK"}, {"/", "/home", "/srv/nas"}};
}

TEST(VolumeRootOf, MountedDeclaredAndRemovablePlaces) {
    const std::set<std::string> folders{"/media/root", "/mnt/data", "/media/root/LEFTOVER"};
    auto exists = [&](const std::string& p) { return folders.count(p) > 0; };
    std::string root;
    EXPECT_TRUE(VolumeRootOf("/home/u/logs/", Table(), root, exists));
    EXPECT_EQ(root, "/home");
    EXPECT_TRUE(VolumeRootOf("/homework", Table(), root, exists));
    EXPECT_EQ(root, "/");
    EXPECT_TRUE(VolumeRootOf("/media/root/STICK/new/deep", Table(), root, exists));
    EXPECT_EQ(root, "/media/root/STICK");
    // Declared in fstab but not mounted: never written on the root file system.
    EXPECT_FALSE(VolumeRootOf("/srv/nas/logs", Table(), root, exists));
    EXPECT_EQ(root, "/srv/nas");
    // A stick that is not plugged in: its mount point folder is gone.
    EXPECT_FALSE(VolumeRootOf("/media/root/OTHER/logs", Table(), root, exists));
    EXPECT_EQ(root, "/media/root/OTHER");
    EXPECT_FALSE(VolumeRootOf("/media/OLDSTICK/logs", Table(), root, exists));
    EXPECT_EQ(root, "/media/OLDSTICK");
    // A mount point folder left behind by a medium that is gone.
    EXPECT_FALSE(VolumeRootOf("/mnt/data/new", Table(), root, exists));
    EXPECT_EQ(root, "/mnt/data");
    EXPECT_FALSE(VolumeRootOf("/media/root/LEFTOVER/logs", Table(), root, exists));
    EXPECT_EQ(root, "/media/root/LEFTOVER");
    EXPECT_TRUE(VolumeRootOf("/media/root", Table(), root, exists));
    EXPECT_TRUE(VolumeRootOf("relative/x", Table(), root, exists));
}

TEST(VolumeRootOf, ReadsEscapedMountPoints) {
    TempDir d;
    std::ofstream(d.file("mounts"))
        << "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/u/MY\\040STICK vfat rw 0 0\n";
    std::ofstream(d.file("fstab"))
        << "# c\nUUID=1 none swap sw 0 0\n//nas/x /srv/nas cifs noauto 0 0\n";
    const MountTable t = ReadMountTable(d.file("mounts"), d.file("fstab"));
    EXPECT_EQ(t.Mounted, (std::vector<std::string>{"/", "/media/u/MY STICK"}));
    EXPECT_EQ(t.Declared, (std::vector<std::string>{"/srv/nas"}));
}

TEST(Volumes, DriveListHelpers) {
    EXPECT_TRUE(IsUserVolume("/", "overlay", true));
    EXPECT_TRUE(IsUserVolume("/run/media/u/CD", "iso9660", true));
    EXPECT_FALSE(IsUserVolume("/proc", "proc", true));
    EXPECT_FALSE(IsUserVolume("/run/user/1000", "tmpfs", true));
    EXPECT_FALSE(IsUserVolume("/etc/hosts", "ext4", false));
    EXPECT_EQ(VolumeText({"/media/u/STICK", "STICK", true}), "/media/u/STICK");
    EXPECT_EQ(VolumeText({"/", "root", true}), "/  [root]");
    const std::vector<Volume> v{{"/", "", true}, {"/home", "", true}};
    EXPECT_EQ(VolumeIndexOf(v, "/home/u"), 1);
    EXPECT_EQ(VolumeIndexOf(v, "/homes"), 0);
    EXPECT_EQ(ResolveTypedFolder("~/logs", "/x", "/home/u"), "/home/u/logs");
    EXPECT_EQ(ResolveTypedFolder("sub", "/x", "/home/u"), "/x/sub");
    EXPECT_EQ(ResolveTypedFolder("/abs", "/x", "/home/u"), "/abs");
}

TEST(SerialDevices, ListedFromFoldersWithoutOpeningAny) {
    auto list = [](const std::string& folder) -> std::vector<std::string> {
        if (folder == "/dev/serial/by-id")
            return {"usb-FTDI_B-if00-port0", "usb-FTDI_A-if00-port0"};
        if (folder == "/dev")
            return {"ttyS1", "ttyUSB10", "tty0", "ttyACM0", "ttyUSB9", "ttyS0", "ttyUSBx"};
        return {};
    };
    auto read = [](const std::string& file, std::string& text) {
        text = file.find("ttyS0") != std::string::npos ? "4\n" : "0\n";
        return true;
    };
    EXPECT_EQ(ListSerialDevices(list, read),
              (std::vector<std::string>{"/dev/serial/by-id/usb-FTDI_A-if00-port0",
                                        "/dev/serial/by-id/usb-FTDI_B-if00-port0", "/dev/ttyUSB9",
                                        "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0"}));
    EXPECT_EQ(SerialAccessHint("/dev/ttyUSB0", [](const std::string&) { return 0; }), "");
    EXPECT_NE(SerialAccessHint("/dev/ttyUSB0", [](const std::string&) { return EACCES; })
                  .find("'dialout'"),
              std::string::npos);
    EXPECT_NE(SerialAccessHint("/dev/ttyUSB0", [](const std::string&) { return ENOENT; })
                  .find("does not exist"),
              std::string::npos);
    // What the library calls "COM already opened" has these causes too.
    EXPECT_EQ(SerialAccessHint("/tmp"), "/tmp is not a serial device.");
    EXPECT_EQ(SerialAccessHint("/dev/null"), "");
    const HostCheck known = [](const std::string& host) {
        return host == "plc-7" || host == "::1";
    };
    EXPECT_EQ(SerialAccessHint("udp:plc-7:5050", AccessErrno, known), "");
    EXPECT_EQ(SerialAccessHint("udp:[::1]:5050", AccessErrno, known), "");
    EXPECT_EQ(SerialAccessHint("udp:plc-8", AccessErrno, known),
              "Unknown host plc-8 (the name of udp:plc-8 does not resolve).");
    EXPECT_EQ(ChannelDevice("/dev/ttyUSB3", 1), "/dev/ttyUSB3");
    EXPECT_EQ(ChannelDevice("", 3),
              std::getenv("PELSBUS_COM3") ? std::getenv("PELSBUS_COM3") : "/dev/ttyS2");
}

} // namespace
