#include "platform/file_system_kind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <locale>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/file_system.h"
#include "platform/mounts.h"

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

// FUSE drivers show only "fuse" or "fuseblk"; the image or device they were
// mounted from says what it holds.
std::string boot_sector_kind(const std::string& source) {
    if (!source.starts_with('/')) return {};
    const int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    std::array<char, 512> sector{};
    struct stat st {};
    const bool readable = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) &&
                          ::pread(fd, sector.data(), sector.size(), 0) == static_cast<ssize_t>(sector.size());
    ::close(fd);
    if (!readable) return {};
    const std::string_view bytes(sector.data(), sector.size());
    if (bytes.substr(3, 8) == "EXFAT   ") return "exfat";
    if (bytes.substr(3, 8) == "NTFS    ") return "ntfs";
    if (bytes.substr(510, 2) != "\x55\xAA") return {};
    if (bytes.substr(54, 3) == "FAT" || bytes.substr(82, 5) == "FAT32") return "fat";
    return {};
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

struct Known_Kinds {
    std::shared_ptr<const std::vector<Mount>> mounts;  // the table the kinds were found under
    std::map<dev_t, File_System_Kind> by_device;
};

}  // namespace

File_System_Kind file_system_kind_of_mount(const std::string& type, const std::string& source,
                                           const std::string& path) {
    if (type == "vfat" || type == "msdos") return fat(true);
    if (type == "exfat") return exfat(true);
    if (type == "ntfs3" || type == "ntfs") return ntfs();
    if (type == "cifs" || type == "smb3" || type == "smbfs") return {"SMB", 100, true, false, true};
    if (type == "hfsplus" || type == "hfs") return {"HFS+", Second, true, false, true};
    if (type.starts_with("ext")) {
        // ext2 and ext3 with 128-byte inodes keep whole seconds. The change
        // time is the kernel's clock and never set by anyone, so its
        // nanoseconds are 0 only there.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && st.st_ctim.tv_nsec == 0) return {"ext", Second};
        return {};
    }
    if (type.starts_with("fuse")) {
        std::string inside = boot_sector_kind(source);
        if (inside.empty()) {
            if (contains(type, "ntfs"))
                inside = "ntfs";
            else if (contains(type, "exfat"))
                inside = "exfat";
            else if (contains(type, "fat"))
                inside = "fat";
        }
        if (inside == "ntfs") return ntfs();
        if (inside == "exfat") return exfat(false);
        if (inside == "fat") return fat(false);
    }
    return {};
}

const File_System_Kind& file_system_kind(const std::string& path, dev_t device) {
    static std::mutex mutex;
    static Known_Kinds known;
    std::lock_guard lock(mutex);
    auto mounts = current_mounts();
    if (mounts != known.mounts) {
        // A device number may be given to another file system after an unmount.
        known.by_device.clear();
        known.mounts = mounts;
    }
    auto found = known.by_device.find(device);
    if (found == known.by_device.end()) {
        const Mount mount = mount_in(*mounts, real_file_system().canonical(path));
        found = known.by_device.emplace(device, file_system_kind_of_mount(mount.file_system_type, mount.source, path))
                    .first;
    }
    return found->second;
}

File_System_Kind folder_file_system_kind(const std::string& folder) {
    struct Last {
        std::shared_ptr<const std::vector<Mount>> mounts;
        std::string folder;
        File_System_Kind kind;
    };
    static thread_local Last last;
    auto mounts = current_mounts();
    if (mounts == last.mounts && folder == last.folder) return last.kind;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return {};
    last = {std::move(mounts), folder, file_system_kind(folder, st.st_dev)};
    return last.kind;
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
