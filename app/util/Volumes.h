#pragma once
// Volumes (mounted file systems) as the "drives" of the folder choosers, and
// whether the volume a path belongs on is there at all.
//
// Linux has one root, so a folder on a USB stick that is not plugged in, or on
// a network mount that is down, would otherwise be created on the root file
// system below the empty mount point. A path belongs on a volume that is not
// mounted when it lies below a mount point the system declares (fstab) that
// is not mounted, or below a removable-media place (/media, /run/media, /mnt)
// whose mount point folder is missing.

#include <functional>
#include <string>
#include <vector>

namespace pelkor {

struct MountTable {
    std::vector<std::string> Mounted;  // mount points now mounted
    std::vector<std::string> Declared; // mount points the system expects (fstab)
};

// Reads the mounted table (/proc/self/mounts format) and the declared one
// (fstab format; swap and "none" left out). Missing files give empty lists.
MountTable ReadMountTable(const std::string& mounts = "/proc/self/mounts",
                          const std::string& fstab = "/etc/fstab");

// True when `folder` is `prefix` or lies below it ("/a/b" is below "/a", not
// below "/ab"); "/" is above every absolute path.
bool IsBelowOrSame(const std::string& folder, const std::string& prefix);

// The mount point of the volume `path` belongs on: the deepest mounted mount
// point above it, or a deeper declared or removable-media mount point that is
// not mounted. False when that volume is not mounted (root then names where
// it would be). `exists` tells whether a folder exists (default: stat).
bool VolumeRootOf(const std::string& path, const MountTable& table, std::string& root,
                  const std::function<bool(const std::string&)>& exists = {});

// A volume offered in a drive list.
struct Volume {
    std::string Root;  // mount point
    std::string Label; // volume name, may be empty
    bool Ready = true; // mounted and readable
};

// Whether a mounted file system is one a user keeps files on: not the
// kernel's and system's own (/proc, /sys, /dev, /run except /run/media,
// /snap, /boot), not a pseudo file system, not a single bind-mounted file.
bool IsUserVolume(const std::string& root, const std::string& fsType, bool isFolder);

// The drive-list text of a volume: its mount point, with its label when the
// mount point does not already end in it.
std::string VolumeText(const Volume& v);

// Index of the volume holding `path` (deepest root above it), -1 for none.
int VolumeIndexOf(const std::vector<Volume>& volumes, const std::string& path);

// Typed folder text as a path: "~" and "~/..." below home; a relative text
// below base; everything else as typed.
std::string ResolveTypedFolder(const std::string& text, const std::string& base,
                               const std::string& home);

} // namespace pelkor
