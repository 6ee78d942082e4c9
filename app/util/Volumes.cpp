#include "util/Volumes.h"

#include <pwd.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "util/Path.h"

namespace pelkor {

namespace {

// Mount tables write blanks, tabs, line feeds and backslashes as \ooo.
std::string DecodeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string oct = field.substr(i + 1, 3);
            if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(oct, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool StatFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The first path component of `path` below `base` ("" when path is base).
std::string ComponentBelow(const std::string& path, const std::string& base) {
    std::size_t start = base == "/" ? 1 : base.size() + 1;
    if (start >= path.size()) return {};
    std::size_t end = path.find('/', start);
    return path.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace

MountTable ReadMountTable(const std::string& mounts, const std::string& fstab) {
    MountTable t;
    auto read = [](const std::string& file, std::vector<std::string>& out, bool declared) {
        std::ifstream in(file);
        std::string line;
        for (int guard = 0; guard < 100000 && std::getline(in, line); ++guard) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::string device, point, type;
            if (!(fields >> device >> point >> type)) continue;
            if (declared && (type == "swap" || point == "none" || point.empty() || point[0] != '/'))
                continue;
            out.push_back(WithoutTrailingSlash(DecodeMountField(point)));
        }
    };
    read(mounts, t.Mounted, false);
    read(fstab, t.Declared, true);
    return t;
}

bool IsBelowOrSame(const std::string& folder, const std::string& prefix) {
    if (prefix.empty() || folder.empty()) return false;
    if (prefix == "/") return folder[0] == '/';
    if (folder.compare(0, prefix.size(), prefix) != 0) return false;
    return folder.size() == prefix.size() || folder[prefix.size()] == '/';
}

bool VolumeRootOf(const std::string& rawPath, const MountTable& table, std::string& root,
                  const std::function<bool(const std::string&)>& exists) {
    const auto folderExists = exists ? exists : StatFolder;
    const std::string path = WithoutTrailingSlash(rawPath);
    root.clear();
    if (path.empty() || path[0] != '/' || (path.size() > 1 && path[1] == '/')) return true;

    std::string mounted = "/";
    for (const auto& m : table.Mounted)
        if (IsBelowOrSame(path, m) && m.size() > mounted.size()) mounted = m;
    root = mounted;

    std::string declared;
    for (const auto& d : table.Declared) {
        if (d.size() <= mounted.size() || !IsBelowOrSame(path, d) || !IsBelowOrSame(d, mounted))
            continue;
        bool isMounted = false;
        for (const auto& m : table.Mounted)
            isMounted = isMounted || m == d;
        if (!isMounted && d.size() > declared.size()) declared = d;
    }
    if (!declared.empty()) {
        root = declared;
        return false;
    }

    for (const std::string base : {"/media", "/run/media", "/mnt"}) {
        if (!IsBelowOrSame(path, base) || path == base) continue;
        if (IsBelowOrSame(mounted, base) && mounted != base)
            return true; // a volume is mounted there
        std::string level = base + "/" + ComponentBelow(path, base);
        if (!folderExists(level)) {
            root = level;
            return false;
        }
        // Desktops mount removable media at /media/<user>/<label>.
        const std::string user = ComponentBelow(path, base);
        if (base != "/mnt" && ::getpwnam(user.c_str()) != nullptr) {
            if (level == path) return true; // the user's folder itself
            level += "/" + ComponentBelow(path, level);
        }
        // Nothing is mounted at or above the path below this place: its mount
        // point folder may be left behind, but writing there fills the root
        // file system, not the medium.
        root = level;
        return false;
    }
    return true;
}

bool IsUserVolume(const std::string& rawRoot, const std::string& fsType, bool isFolder) {
    const std::string root = WithoutTrailingSlash(rawRoot);
    if (!isFolder || root.empty() || root[0] != '/') return false;
    for (const char* t : {"proc",       "sysfs",    "devtmpfs", "devpts",      "cgroup", "cgroup2",
                          "securityfs", "debugfs",  "tracefs",  "pstore",      "bpf",    "mqueue",
                          "hugetlbfs",  "configfs", "fusectl",  "binfmt_misc", "autofs", "efivarfs",
                          "squashfs",   "nsfs",     "ramfs",    "rpc_pipefs",  "overlay"})
        if (fsType == t) return root == "/"; // a container's root is an overlay
    if (IsBelowOrSame(root, "/run/media")) return true;
    for (const char* system :
         {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var/lib/docker"})
        if (IsBelowOrSame(root, system)) return false;
    return true;
}

std::string VolumeText(const Volume& v) {
    if (v.Label.empty()) return v.Root;
    const std::string tail =
        v.Root.size() >= v.Label.size() ? v.Root.substr(v.Root.size() - v.Label.size()) : "";
    return tail == v.Label ? v.Root : v.Root + "  [" + v.Label + "]";
}

int VolumeIndexOf(const std::vector<Volume>& volumes, const std::string& path) {
    int best = -1;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const std::string r = WithoutTrailingSlash(volumes[i].Root);
        if (IsBelowOrSame(WithoutTrailingSlash(path), r) &&
            (best < 0 || r.size() > WithoutTrailingSlash(volumes[best].Root).size()))
            best = static_cast<int>(i);
    }
    return best;
}

std::string ResolveTypedFolder(const std::string& text, const std::string& base,
                               const std::string& home) {
    if (text.empty()) return text;
    if (text == "~") return home;
    if (text.rfind("~/", 0) == 0) return WithoutTrailingSlash(home) + text.substr(1);
    if (text[0] == '/' || base.empty()) return text;
    return JoinPath(base, text);
}

} // namespace pelkor
