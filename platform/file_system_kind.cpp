#include "platform/file_system_kind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <locale>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/file_system.h"
#include "platform/mounts.h"
#include "platform/time_steps.h"

namespace zentrel::platform {

namespace {

constexpr std::int64_t Nanosecond = 1;
constexpr std::int64_t Second = 1'000'000'000;

File_System_Kind fat(bool kernel) {
    return {"FAT", 2 * Second, true, true, false, kernel ? Native_Attributes::Fat_Ioctl : Native_Attributes::None};
}
// The kernel's driver keeps exFAT's 10 ms; exfat-fuse only whole seconds.
File_System_Kind exfat(bool kernel) {
    return {"exFAT", kernel ? Second / 100 : Second, true, true, false, Native_Attributes::None};
}
// Linux drivers keep names apart by case, Windows does not: a disk that goes
// back to Windows must not hold two of them.
File_System_Kind ntfs() { return {"NTFS", 100, true, true, true, Native_Attributes::Ntfs_Xattr}; }

// The first sector of the image or device a file system was mounted from,
// where it can be read (a device usually by root only); never opens what
// is neither a file nor a block device.
std::optional<std::array<char, 512>> boot_sector(const std::string& source) {
    struct stat st {};
    if (!source.starts_with('/') || ::stat(source.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)))
        return std::nullopt;
    const int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::array<char, 512> sector{};
    const bool readable = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) &&
                          ::pread(fd, sector.data(), sector.size(), 0) == static_cast<ssize_t>(sector.size());
    ::close(fd);
    if (!readable) return std::nullopt;
    return sector;
}

// "exfat", "ntfs" or "fat" for what a boot sector holds; empty for anything else.
std::string sector_kind(std::string_view bytes) {
    if (bytes.substr(3, 8) == "EXFAT   ") return "exfat";
    if (bytes.substr(3, 8) == "NTFS    ") return "ntfs";
    if (bytes.substr(510, 2) != "\x55\xAA") return {};
    if (bytes.substr(54, 3) == "FAT" || bytes.substr(82, 5) == "FAT32") return "fat";
    return {};
}

// FUSE drivers show only "fuse" or "fuseblk"; the image or device they were
// mounted from says what it holds.
std::string boot_sector_kind(const std::string& source) {
    const auto sector = boot_sector(source);
    return sector ? sector_kind(std::string_view(sector->data(), sector->size())) : std::string();
}

// The volume serial number in a boot sector, spelt as udev spells it:
// "5324-F0BC" for FAT and exFAT, sixteen digits for NTFS.
std::string boot_sector_serial(const std::string& source) {
    const auto sector = boot_sector(source);
    if (!sector) return {};
    const std::string_view bytes(sector->data(), sector->size());
    const std::string kind = sector_kind(bytes);
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    char text[24] = "";
    if (kind == "fat" || kind == "exfat") {
        const std::size_t at = kind == "exfat" ? 100 : bytes.substr(82, 5) == "FAT32" ? 67 : 39;
        std::snprintf(text, sizeof text, "%02X%02X-%02X%02X", byte(at + 3), byte(at + 2), byte(at + 1), byte(at));
    } else if (kind == "ntfs") {
        for (int i = 7; i >= 0; --i) std::snprintf(text + 2 * (7 - i), 3, "%02X", byte(72 + i));
    }
    return text;
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

// One value (key "ID_FS_TYPE", "ID_FS_UUID" ...) of udev's record of the
// block device "major:minor", readable by every user, unlike the device
// itself; empty when there is none.
std::string udev_value(const std::string& device, std::string_view key, const std::string& udev_folder) {
    if (device.empty() || device.find_first_not_of("0123456789:") != std::string::npos) return {};
    const int fd = ::open((udev_folder + "/b" + device).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    std::string text;
    char buffer[4096];
    for (ssize_t length; (length = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536;)
        text.append(buffer, static_cast<std::size_t>(length));
    ::close(fd);
    const std::string line = "E:" + std::string(key) + "=";
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, line.size(), line) == 0) return text.substr(at + line.size(), end - at - line.size());
        at = end + 1;
    }
    return {};
}

// The block device a FUSE driver was mounted from, as "major:minor": the
// mount table gives it for fuseblk; for fuse a source that is a device.
std::string block_device_of(const std::string& type, const std::string& source, const std::string& device) {
    if (type == "fuseblk") return device;
    struct stat st {};
    if (source.starts_with('/') && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    return {};
}

// ntfs-3g shows NTFS's own attributes of every entry, also to a user who
// may not read the device it was mounted from.
bool answers_as_ntfs(const std::string& path) {
    unsigned char bytes[4];
    return ::lgetxattr(path.c_str(), "system.ntfs_attrib_be", bytes, sizeof bytes) == sizeof bytes;
}

// ext2 and ext3 with 128-byte inodes keep whole seconds. The change time is
// the kernel's clock and never set by anyone, so its nanoseconds are 0 only
// there. The entry itself is judged, never what a link leads to, which may
// lie on another file system.
File_System_Kind ext_kind(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && st.st_ctim.tv_nsec == 0) return {"ext", Second};
    return {};
}

// A kind whose times only a measurement tells.
File_System_Kind measured(File_System_Kind kind) {
    kind.time_step_known = false;
    kind.checks_time_after_copy = true;
    return kind;
}

struct Known_Kinds {
    std::shared_ptr<const std::vector<Mount>> mounts;  // the table the kinds were found under
    std::uint64_t measurements = 0;                    // time_step_measurements() when they were found
    std::map<dev_t, File_System_Kind> by_device;
};

}  // namespace

File_System_Kind file_system_kind_of_mount(const std::string& type, const std::string& source, const std::string& path,
                                           const std::string& device, const std::string& udev_folder) {
    if (type == "vfat" || type == "msdos") return fat(true);
    if (type == "exfat") return exfat(true);
    if (type == "ntfs3" || type == "ntfs") return ntfs();
    if (type == "cifs" || type == "smb3" || type == "smbfs") {
        File_System_Kind kind{"SMB", 100, true, false, true};
        kind.sets_link_times = false;
        return kind;
    }
    if (type == "hfsplus" || type == "hfs") return {"HFS+", Second, true, false, true};
    if (type.starts_with("ext") || type == "fuse.fuse2fs") return ext_kind(path);
    // SFTP carries whole seconds only; so does smbnetfs (through libsmbclient),
    // whose server sets a file's time again when it is closed.
    if (type == "fuse.sshfs") return {"SFTP", Second, false, false, true, Native_Attributes::None, true, true, false};
    // SMB carries no names that Windows refuses, and smbnetfs no links.
    if (type == "fuse.smbnetfs") return {"SMB", Second, true, true, false, Native_Attributes::None, true, true, false};
    if (type.starts_with("fuse")) {
        std::string inside = boot_sector_kind(source);
        if (inside.empty()) {
            const std::string recorded = udev_value(block_device_of(type, source, device), "ID_FS_TYPE", udev_folder);
            if (recorded == "vfat" || recorded == "msdos")
                inside = "fat";
            else if (recorded == "exfat" || recorded == "ntfs")
                inside = recorded;
        }
        if (inside.empty()) {
            if (contains(type, "ntfs") || answers_as_ntfs(path))
                inside = "ntfs";
            else if (contains(type, "exfat"))
                inside = "exfat";
            else if (contains(type, "fat"))
                inside = "fat";
        }
        File_System_Kind kind;
        if (inside == "ntfs")
            kind = ntfs();
        else if (inside == "exfat")
            kind = exfat(false);
        else if (inside == "fat")
            kind = fat(false);
        // Besides ntfs-3g, only exfat-fuse mounts block devices as fuseblk:
        // Windows' rules hold, and a measurement tells the times.
        else if (type == "fuseblk")
            kind = measured({"exFAT", 1, true, true, false});
        else
            kind = measured({});
        kind.checks_time_after_copy = true;
        kind.sets_link_times = false;
        return kind;
    }
    return {};
}

std::string file_system_volume_of_mount(const std::string& type, const std::string& source, const std::string& device,
                                        const std::string& udev_folder) {
    const std::string block = type.starts_with("fuse") ? block_device_of(type, source, device) : device;
    std::string volume = udev_value(block, "ID_FS_UUID", udev_folder);
    if (volume.empty()) volume = boot_sector_serial(source);
    return volume;
}

const File_System_Kind& file_system_kind(const std::string& path, dev_t device) {
    static std::mutex mutex;
    static Known_Kinds known;
    std::lock_guard lock(mutex);
    // A device known already is taken from the table as of a moment ago;
    // one not known yet may have been mounted since, and the kernel is asked.
    const std::uint64_t measurements = time_step_measurements();
    for (bool fresh : {false, true}) {
        auto mounts = recent_mounts(fresh);
        if (mounts != known.mounts || measurements != known.measurements) {
            // A device number may be given to another file system after an unmount.
            known.by_device.clear();
            known.mounts = mounts;
            known.measurements = measurements;
        }
        auto found = known.by_device.find(device);
        if (found != known.by_device.end()) return found->second;
    }
    // By the device itself: a path that is a link would lead the mount
    // table elsewhere.
    const std::string id = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    const Mount* of_device = nullptr;
    for (const Mount& mount : *known.mounts)
        if (mount.device == id) of_device = &mount;
    const Mount mount = of_device ? *of_device : mount_in(*known.mounts, real_file_system().canonical(path));
    File_System_Kind kind = file_system_kind_of_mount(mount.file_system_type, mount.source, path, mount.device);
    if (!kind.time_step_known) {
        if (auto step = measured_time_step(mount)) kind.time_step = *step;
    }
    return known.by_device.emplace(device, std::move(kind)).first->second;
}

File_System_Kind folder_file_system_kind(const std::string& folder) {
    struct Last {
        std::shared_ptr<const std::vector<Mount>> mounts;
        std::uint64_t measurements = 0;
        std::string folder;
        File_System_Kind kind;
    };
    // Two: a copy asks for the folder it reads from and the one it writes
    // into, file after file.
    static thread_local Last last[2];
    static thread_local std::size_t older = 0;
    auto mounts = recent_mounts();
    const std::uint64_t measurements = time_step_measurements();
    for (const Last& known : last)
        if (mounts == known.mounts && measurements == known.measurements && folder == known.folder) return known.kind;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return {};
    File_System_Kind kind = file_system_kind(folder, st.st_dev);
    Last& slot = last[older];
    older = 1 - older;
    slot = {recent_mounts(), measurements, folder, std::move(kind)};
    return slot.kind;
}

namespace {

// How many folders below an smbnetfs mount path lies; none off such mounts.
std::optional<std::size_t> depth_in_smbnetfs(const std::string& path) {
    struct Mounted {
        std::shared_ptr<const std::vector<Mount>> mounts;
        std::vector<std::string> mount_points;
    };
    static thread_local Mounted mounted;
    auto mounts = recent_mounts();
    if (mounts != mounted.mounts) {
        mounted.mount_points.clear();
        for (const Mount& mount : *mounts)
            if (mount.file_system_type == "fuse.smbnetfs") mounted.mount_points.push_back(mount.mount_point);
        mounted.mounts = std::move(mounts);
    }
    for (const std::string& point : mounted.mount_points) {
        if (!path.starts_with(point) || (path.size() != point.size() && path[point.size()] != '/')) continue;
        std::size_t depth = 0;
        for (std::size_t at = point.size(); at < path.size(); ++at)
            if (path[at] == '/' && at + 1 < path.size()) ++depth;
        return depth;
    }
    return std::nullopt;
}

}  // namespace

bool refuses_attribute_calls(const std::string& path) { return depth_in_smbnetfs(path).has_value(); }

bool is_share_browser_folder(const std::string& path) {
    const auto depth = depth_in_smbnetfs(path);
    return depth && *depth < 2;
}

File_Time truncated_time(File_Time time, std::int64_t step) {
    if (step <= 1) return time;
    if (step < Second) return {time.seconds, time.nanoseconds / step * step};
    const std::int64_t seconds_step = step / Second;
    // Down, also for times before 1970.
    std::int64_t seconds = time.seconds / seconds_step * seconds_step;
    if (seconds > time.seconds) seconds -= seconds_step;
    return {seconds, 0};
}

std::string refused_name_reason(const File_System_Kind& kind, const std::string& name) {
    if (!kind.windows_names) return {};
    for (unsigned char c : name) {
        if (c < 0x20 || std::string_view(":*?\"<>|\\").find(static_cast<char>(c)) != std::string_view::npos)
            return "Der Name enthält ein Zeichen, das " + kind.name + " nicht speichern kann (: * ? \" < > | \\)";
    }
    if (name.ends_with('.') || name.ends_with(' '))
        return "Ein Name mit einem Punkt oder Leerzeichen am Ende ist auf " + kind.name + " nicht möglich";
    // CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices under
    // Windows, with any extension and blanks before it.
    std::string stem = case_folded(name.substr(0, name.find('.')));
    while (stem.ends_with(' ')) stem.pop_back();
    static constexpr std::string_view devices[] = {"con", "prn", "aux", "nul"};
    bool reserved = false;
    for (auto device : devices) reserved |= stem == device;
    if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' && stem[3] <= '9')
        reserved = true;
    if (reserved) return "Der Name ist unter Windows einem Gerät vorbehalten und auf " + kind.name + " nicht möglich";
    return {};
}

std::string case_folded(const std::string& name) {
    // Letters beyond ASCII through the C library's Unicode tables where it
    // has them; bytes that are no UTF-8 stay as they are.
    static const std::ctype<wchar_t>* unicode = []() -> const std::ctype<wchar_t>* {
        try {
            static const std::locale utf8("C.UTF-8");
            return &std::use_facet<std::ctype<wchar_t>>(utf8);
        } catch (...) {
            return nullptr;
        }
    }();
    std::string folded;
    folded.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            folded += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte);
            ++i;
            continue;
        }
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        char32_t code = length == 4 ? byte & 0x07 : length == 3 ? byte & 0x0F : byte & 0x1F;
        bool valid = length > 1 && i + length <= name.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        if (!valid || !unicode) {
            folded += name[i];
            ++i;
            continue;
        }
        const char32_t lower = static_cast<char32_t>(unicode->tolower(static_cast<wchar_t>(code)));
        if (lower < 0x800) {
            folded += static_cast<char>(0xC0 | lower >> 6);
        } else if (lower < 0x10000) {
            folded += static_cast<char>(0xE0 | lower >> 12);
            folded += static_cast<char>(0x80 | (lower >> 6 & 0x3F));
        } else {
            folded += static_cast<char>(0xF0 | lower >> 18);
            folded += static_cast<char>(0x80 | (lower >> 12 & 0x3F));
            folded += static_cast<char>(0x80 | (lower >> 6 & 0x3F));
        }
        if (lower >= 0x80)
            folded += static_cast<char>(0x80 | (lower & 0x3F));
        else
            folded.back() = static_cast<char>(lower);  // folded into ASCII (rare: the Kelvin sign)
        i += length;
    }
    return folded;
}

}  // namespace zentrel::platform
