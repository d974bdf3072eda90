#include "common/mounted_image.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zentrel::testing {

namespace {

// Runs a shell command; its output, for the reason of a failure.
bool run(const std::string& command, std::string& output) {
    output.clear();
    // mkfs and the mount helpers live in sbin, which a user's PATH may lack.
    const std::string line = "PATH=\"$PATH:/usr/sbin:/sbin\"; " + command + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(line.c_str(), "r"), ::pclose);
    if (!pipe) return false;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
    const int status = ::pclose(pipe.release());
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return status == 0;
}

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

bool has_program(const std::string& name) {
    std::string output;
    return run("command -v " + name, output);
}

bool mounted_at(const std::string& path) {
    struct stat own {
    }, parent{};
    return ::stat(path.c_str(), &own) == 0 && ::stat((path + "/..").c_str(), &parent) == 0 &&
           own.st_dev != parent.st_dev;
}

}  // namespace

std::string image_kind_name(Image_Kind kind) {
    switch (kind) {
        case Image_Kind::Fat:
            return "FAT (fusefat)";
        case Image_Kind::Exfat:
            return "exFAT (exfat-fuse)";
        case Image_Kind::Ntfs:
            return "NTFS (ntfs-3g)";
        case Image_Kind::Kernel_Vfat:
            return "FAT (the kernel's vfat)";
    }
    return "?";
}

std::unique_ptr<Mounted_Image> Mounted_Image::mount(Image_Kind kind, const std::string& folder, std::string& why_not) {
    const std::string name = image_kind_name(kind);
    const bool fuse = kind != Image_Kind::Kernel_Vfat;
    if (fuse && ::access("/dev/fuse", R_OK | W_OK) != 0) {
        why_not = name + ": no /dev/fuse on this machine, cannot mount";
        return nullptr;
    }
    const char* make = kind == Image_Kind::Exfat ? "mkfs.exfat" : kind == Image_Kind::Ntfs ? "mkntfs" : "mkfs.vfat";
    const char* driver = kind == Image_Kind::Fat     ? "fusefat"
                         : kind == Image_Kind::Exfat ? "mount.exfat-fuse"
                         : kind == Image_Kind::Ntfs  ? "ntfs-3g"
                                                     : "mount";
    for (const char* program : {make, driver}) {
        if (!has_program(program)) {
            why_not = name + ": " + program + " is not installed (scripts/install-deps installs it)";
            return nullptr;
        }
    }

    const std::string image = folder + "/image.img";
    std::unique_ptr<Mounted_Image> mounted(new Mounted_Image);
    mounted->mount_point_ = folder + "/mnt";
    ::mkdir(mounted->mount_point_.c_str(), 0755);
    std::string output;
    const std::string make_options = kind == Image_Kind::Ntfs ? " -F -Q" : "";
    if (!run("truncate -s 16M " + quoted(image) + " && " + make + make_options + " " + quoted(image), output)) {
        why_not = name + ": could not make the image: " + output;
        return nullptr;
    }
    std::string device = image;
    // exfat-fuse run by root wants a block device.
    if (kind == Image_Kind::Exfat && ::geteuid() == 0) {
        if (!run("losetup -f --show " + quoted(image), output)) {
            why_not = name + ": no loop device for the image: " + output;
            return nullptr;
        }
        mounted->loop_device_ = device = output;
    }
    std::string command;
    switch (kind) {
        case Image_Kind::Fat:
            command = "fusefat -o rw+ " + quoted(device) + " " + quoted(mounted->mount_point_);
            break;
        case Image_Kind::Exfat:
            command = "mount.exfat-fuse " + quoted(device) + " " + quoted(mounted->mount_point_);
            break;
        case Image_Kind::Ntfs:
            command = "ntfs-3g " + quoted(device) + " " + quoted(mounted->mount_point_);
            break;
        case Image_Kind::Kernel_Vfat:
            command = "mount -t vfat -o loop " + quoted(device) + " " + quoted(mounted->mount_point_);
            break;
    }
    if (!run(command, output) || !mounted_at(mounted->mount_point_)) {
        why_not = name + ": the machine does not let us mount it: " + output;
        return nullptr;  // the destructor frees the loop device
    }
    return mounted;
}

Mounted_Image::~Mounted_Image() {
    std::string output;
    if (mounted_at(mount_point_) && !run("umount " + quoted(mount_point_), output))
        run("fusermount -u -z " + quoted(mount_point_), output);
    if (!loop_device_.empty()) run("losetup -d " + quoted(loop_device_), output);
}

}  // namespace zentrel::testing
