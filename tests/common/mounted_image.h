// A small file-system image made in a test's folder and mounted there, so
// that a test runs on FAT, exFAT or NTFS as a USB stick or a Windows disk
// brings them: the FUSE drivers fusefat, exfat-fuse and ntfs-3g, or the
// kernel's vfat through a loop device. Unmounted (and its loop device
// freed) when it goes.
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

enum class Image_Kind { Fat, Exfat, Ntfs, Kernel_Vfat };

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

private:
    Mounted_Image() = default;
    std::string mount_point_;
    std::string loop_device_;
};

}  // namespace zentrel::testing
