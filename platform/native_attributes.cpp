// The DOS attributes that FAT and NTFS keep themselves, for the POSIX file
// system.
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/file_objects.h"
#include "platform/file_system.h"
#include "platform/file_system_kind.h"
#include "platform/posix_services.h"

namespace zentrel::platform {

namespace {

constexpr int Dos_Bits = Attribute_Read_Only | Attribute_Hidden | Attribute_System | Attribute_Archive;
// ntfs-3g's and ntfs3's view of the NTFS file attributes, big-endian.
constexpr const char* Ntfs_Attributes_Name = "system.ntfs_attrib_be";
// NTFS's mark of a file without any other attribute.
constexpr std::uint32_t Ntfs_Normal = 0x80;

class Open_Entry {
public:
    explicit Open_Entry(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {
        if (fd_ < 0) throw File_System_Error(errno, path);
    }
    ~Open_Entry() { ::close(fd_); }
    Open_Entry(const Open_Entry&) = delete;
    Open_Entry& operator=(const Open_Entry&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::uint32_t read_ntfs(const std::string& path) {
    unsigned char bytes[4];
    if (::lgetxattr(path.c_str(), Ntfs_Attributes_Name, bytes, sizeof bytes) != sizeof bytes)
        throw File_System_Error(errno, path);
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

namespace posix {

std::optional<int> read_native_attributes(const std::string& path, Native_Attributes where) {
    switch (where) {
        case Native_Attributes::None:
            return std::nullopt;
        case Native_Attributes::Fat_Ioctl: {
            Open_Entry entry(path);
            std::uint32_t bits = 0;
            if (::ioctl(entry.get(), FAT_IOCTL_GET_ATTRIBUTES, &bits) != 0) throw File_System_Error(errno, path);
            return static_cast<int>(bits) & Dos_Bits;
        }
        case Native_Attributes::Ntfs_Xattr:
            return static_cast<int>(read_ntfs(path)) & Dos_Bits;
    }
    return std::nullopt;
}

bool write_native_attributes(const std::string& path, Native_Attributes where, int attributes) {
    switch (where) {
        case Native_Attributes::None:
            return false;
        case Native_Attributes::Fat_Ioctl: {
            Open_Entry entry(path);
            std::uint32_t bits = 0;
            if (::ioctl(entry.get(), FAT_IOCTL_GET_ATTRIBUTES, &bits) != 0) throw File_System_Error(errno, path);
            bits = (bits & ~std::uint32_t{Dos_Bits}) | static_cast<std::uint32_t>(attributes & Dos_Bits);
            if (::ioctl(entry.get(), FAT_IOCTL_SET_ATTRIBUTES, &bits) != 0) throw File_System_Error(errno, path);
            return true;
        }
        case Native_Attributes::Ntfs_Xattr: {
            std::uint32_t bits = read_ntfs(path) & ~(std::uint32_t{Dos_Bits} | Ntfs_Normal);
            bits |= static_cast<std::uint32_t>(attributes & Dos_Bits);
            if (bits == 0) bits = Ntfs_Normal;
            const unsigned char bytes[4] = {static_cast<unsigned char>(bits >> 24),
                                            static_cast<unsigned char>(bits >> 16),
                                            static_cast<unsigned char>(bits >> 8), static_cast<unsigned char>(bits)};
            if (::lsetxattr(path.c_str(), Ntfs_Attributes_Name, bytes, sizeof bytes, 0) != 0)
                throw File_System_Error(errno, path);
            return true;
        }
    }
    return false;
}

}  // namespace posix

}  // namespace zentrel::platform
