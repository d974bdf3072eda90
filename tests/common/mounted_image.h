// A small file system made in a test's folder and mounted there the way a
// desktop mounts it for the user who plugged in the stick or opened the
// share: FAT, exFAT or NTFS images through the FUSE drivers fusefat,
// exfat-fuse and ntfs-3g, or the kernel's vfat through a loop device; an
// ext2 image with 128-byte inodes; a folder through sshfs, talking to a local
// sftp-server through a pipe; a share of a local smbd (on 127.0.0.1 only)
// through smbnetfs. Every mount belongs to the unprivileged user
// (Run_Unprivileged), who may not read the image or device it came from.
// Unmounted (and its loop device freed) when it goes.
//
//     Temp_Folder tmp;
//     std::string why;
//     auto image = Mounted_Image::mount(Image_Kind::Fat, tmp.path(), why);
//     if (!image) GTEST_SKIP() << why;
//     write_file(image->path() + "/a.txt", "...");
#pragma once

#include <memory>
#include <string>

namespace zentrel::testing {

enum class Image_Kind { Fat, Exfat, Ntfs, Kernel_Vfat, Ext2_Small_Inodes, Sshfs, Smbnetfs };

// "FAT (fusefat)", "exFAT (exfat-fuse)", ...
std::string image_kind_name(Image_Kind kind);

class Mounted_Image {
public:
    // Makes and mounts an image of kind in folder; nullptr with the reason
    // in why_not where the machine cannot (no driver, no /dev/fuse, no loop
    // device, not allowed to mount).
    static std::unique_ptr<Mounted_Image> mount(Image_Kind kind, const std::string& folder, std::string& why_not);
    ~Mounted_Image();
    Mounted_Image(const Mounted_Image&) = delete;
    Mounted_Image& operator=(const Mounted_Image&) = delete;

    const std::string& path() const { return mount_point_; }

    // Unmounts it and mounts it again, as a stick unplugged and plugged in
    // again: while another mount holds the device number it had, so that
    // the kernel gives it another, as it does to a stick on its next
    // plug-in. False with the reason in why_not for a share, or where the
    // machine does not let us.
    bool remount(std::string& why_not);

private:
    Mounted_Image() = default;
    // Starts an smbd serving a folder of folder and mounts its share.
    bool share(const std::string& folder, std::string& why_not);
    std::string mount_point_;  // where the files are: below the FUSE mount for a share
    std::string fuse_mount_;   // the mount itself, where that differs
    std::string loop_device_;
    std::string server_folder_;  // of the smbd started for the share
    std::string command_;        // that mounted it; empty for a share
    std::string image_;          // the image file, where there is one
};

}  // namespace zentrel::testing
