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
    if (path.empty()) return false;
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
        case Image_Kind::Ext2_Small_Inodes:
            return "ext2 with 128-byte inodes";
        case Image_Kind::Sshfs:
            return "sshfs";
        case Image_Kind::Smbnetfs:
            return "SMB (smbnetfs)";
    }
    return "?";
}

std::unique_ptr<Mounted_Image> Mounted_Image::mount(Image_Kind kind, const std::string& folder, std::string& why_not) {
    const std::string name = image_kind_name(kind);
    const bool fuse = kind != Image_Kind::Kernel_Vfat && kind != Image_Kind::Ext2_Small_Inodes;
    if (::geteuid() != 0) {
        why_not = name + ": mounting for another user needs root";
        return nullptr;
    }
    if (fuse && ::access("/dev/fuse", R_OK | W_OK) != 0) {
        why_not = name + ": no /dev/fuse on this machine, cannot mount";
        return nullptr;
    }
    const char* make = "mkfs.vfat";
    const char* driver = "mount";
    switch (kind) {
        case Image_Kind::Fat:
            driver = "fusefat";
            break;
        case Image_Kind::Exfat:
            make = "mkfs.exfat", driver = "mount.exfat-fuse";
            break;
        case Image_Kind::Ntfs:
            make = "mkntfs", driver = "ntfs-3g";
            break;
        case Image_Kind::Kernel_Vfat:
            break;
        case Image_Kind::Ext2_Small_Inodes:
            make = "mke2fs";
            break;
        case Image_Kind::Sshfs:
            make = "/usr/lib/openssh/sftp-server", driver = "sshfs";
            break;
        case Image_Kind::Smbnetfs:
            make = "smbd", driver = "smbnetfs";
            break;
    }
    for (const char* program : {make, driver}) {
        if (!has_program(program)) {
            why_not = name + ": " + program + " is not installed (scripts/install-deps installs it)";
            return nullptr;
        }
    }

    std::unique_ptr<Mounted_Image> mounted(new Mounted_Image);
    mounted->mount_point_ = folder + "/mnt";
    ::mkdir(mounted->mount_point_.c_str(), 0755);
    std::string output;
    // The user's own: what a desktop gives the user who plugged the stick in.
    const std::string owner = "uid=65534,gid=65534";
    std::string command;
    if (kind == Image_Kind::Smbnetfs) {
        if (!mounted->share(folder, why_not)) return nullptr;
        return mounted;
    }
    if (kind == Image_Kind::Sshfs) {
        // The server runs as the user, as sshd would start it for the login;
        // sshfs starts it through its ssh command, a pipe and no network.
        const std::string served = folder + "/served", server = folder + "/sftp-server";
        ::mkdir(served.c_str(), 0755);
        ::chown(served.c_str(), 65534, 65534);
        if (!run("printf '#!/bin/sh\\nexec setpriv --reuid=65534 --regid=65534 --clear-groups "
                 "/usr/lib/openssh/sftp-server\\n' >" +
                     quoted(server) + " && chmod 755 " + quoted(server),
                 output)) {
            why_not = name + ": could not write the server's script: " + output;
            return nullptr;
        }
        command = "sshfs -o allow_other,ssh_command=" + quoted(server) + " " + quoted("localhost:" + served) + " " +
                  quoted(mounted->mount_point_);
    } else {
        const std::string image = mounted->image_ = folder + "/image.img";
        const std::string make_options = kind == Image_Kind::Ntfs                ? " -F -Q"
                                         : kind == Image_Kind::Ext2_Small_Inodes ? " -q -t ext2 -I 128"
                                                                                 : "";
        // Readable by root only, like a device node: what it holds must be
        // found without reading it.
        if (!run("truncate -s 16M " + quoted(image) + " && " + make + make_options + " " + quoted(image) +
                     " && chmod 600 " + quoted(image),
                 output)) {
            why_not = name + ": could not make the image: " + output;
            return nullptr;
        }
        std::string device = image;
        // exfat-fuse run by root wants a block device.
        if (kind == Image_Kind::Exfat) {
            if (!run("losetup -f --show " + quoted(image), output)) {
                why_not = name + ": no loop device for the image: " + output;
                return nullptr;
            }
            mounted->loop_device_ = device = output;
        }
        switch (kind) {
            case Image_Kind::Fat:
                command =
                    "fusefat -o rw+,allow_other," + owner + " " + quoted(device) + " " + quoted(mounted->mount_point_);
                break;
            case Image_Kind::Exfat:
                command = "mount.exfat-fuse -o " + owner + " " + quoted(device) + " " + quoted(mounted->mount_point_);
                break;
            case Image_Kind::Ntfs:
                command = "ntfs-3g -o " + owner + " " + quoted(device) + " " + quoted(mounted->mount_point_);
                break;
            case Image_Kind::Kernel_Vfat:
                command = "mount -t vfat -o loop," + owner + " " + quoted(device) + " " + quoted(mounted->mount_point_);
                break;
            case Image_Kind::Ext2_Small_Inodes:
                command = "mount -t ext2 -o loop " + quoted(device) + " " + quoted(mounted->mount_point_) +
                          " && chown 65534:65534 " + quoted(mounted->mount_point_);
                break;
            case Image_Kind::Sshfs:
            case Image_Kind::Smbnetfs:
                break;
        }
    }
    if (!run(command, output) || !mounted_at(mounted->mount_point_)) {
        why_not = name + ": the machine does not let us mount it: " + output;
        return nullptr;  // the destructor frees the loop device
    }
    mounted->command_ = command;
    return mounted;
}

bool Mounted_Image::remount(std::string& why_not) {
    if (command_.empty() || !fuse_mount_.empty()) {
        why_not = "a share is mounted anew with the server, not plugged in again";
        return false;
    }
    std::string output;
    if (!run("umount " + quoted(mount_point_), output)) {
        why_not = "cannot unmount: " + output;
        return false;
    }
    // A stick's block device may come back as another one (sdc1 for sdb1).
    if (!loop_device_.empty()) {
        if (!run("losetup -f --show " + quoted(image_), output)) {
            why_not = "no other loop device for the image: " + output;
            return false;
        }
        const std::string other = output;
        for (auto at = command_.find(quoted(loop_device_)); at != std::string::npos;
             at = command_.find(quoted(loop_device_)))
            command_.replace(at, quoted(loop_device_).size(), quoted(other));
        run("losetup -d " + quoted(loop_device_), output);
        loop_device_ = other;
    }
    const std::string holder = mount_point_ + "-holder";
    ::mkdir(holder.c_str(), 0755);
    const bool held = run("mount -t tmpfs zentrel-holder " + quoted(holder), output);
    const bool mounted = run(command_, output) && mounted_at(mount_point_);
    if (held) run("umount " + quoted(holder), output);
    if (!mounted) why_not = "cannot mount it again: " + output;
    return mounted;
}
bool Mounted_Image::share(const std::string& folder, std::string& why_not) {
    const std::string name = image_kind_name(Image_Kind::Smbnetfs);
    std::string output;
    // smbnetfs reaches servers on the SMB port only.
    if (run("timeout 2 bash -c '</dev/tcp/127.0.0.1/445'", output)) {
        why_not = name + ": port 445 of 127.0.0.1 is taken, no smbd of our own can listen there";
        return false;
    }
    server_folder_ = folder + "/smbd";
    const std::string served = folder + "/served", home = folder + "/home";
    for (const std::string& made : {server_folder_, served, home, home + "/.smb"}) ::mkdir(made.c_str(), 0755);
    ::chown(served.c_str(), 65534, 65534);
    const std::string conf = server_folder_ + "/smb.conf";
    const std::string settings =
        "[global]\n interfaces = 127.0.0.1\n bind interfaces only = yes\n smb ports = 445\n"
        " private dir = " +
        server_folder_ + "\n lock directory = " + server_folder_ + "\n state directory = " + server_folder_ +
        "\n cache directory = " + server_folder_ + "\n pid directory = " + server_folder_ +
        "\n log file = " + server_folder_ +
        "/log.%m\n server role = standalone server\n load printers = no\n disable spoolss = yes\n"
        "[share]\n path = " +
        served + "\n read only = no\n force user = nobody\n";
    // The user's password for the share, in the user's smbnetfs settings.
    if (!run("printf %s " + quoted(settings) + " >" + quoted(conf) + " && printf 'secret\\nsecret\\n' | smbpasswd -c " +
                 quoted(conf) + " -a -s nobody >/dev/null && printf %s " +
                 quoted("auth \"nobody\" \"secret\"\nhost 127.0.0.1 visible=true\nsmb_query_browsers false\n") + " >" +
                 quoted(home + "/.smb/smbnetfs.conf") + " && chmod 600 " + quoted(home + "/.smb/smbnetfs.conf") +
                 " && printf '[global]\\n client min protocol = SMB2\\n' >" + quoted(home + "/.smb/smb.conf") +
                 " && smbd -D -s " + quoted(conf),
             output)) {
        why_not = name + ": smbd does not start here: " + output;
        return false;
    }
    if (!run("for i in $(seq 50); do timeout 1 bash -c '</dev/tcp/127.0.0.1/445' 2>/dev/null && exit 0; sleep 0.1; "
             "done; "
             "exit 1",
             output)) {
        why_not = name + ": smbd started but does not listen on 127.0.0.1:445";
        return false;
    }
    fuse_mount_ = folder + "/mnt";
    ::mkdir(fuse_mount_.c_str(), 0755);
    if (!run("HOME=" + quoted(home) + " smbnetfs " + quoted(fuse_mount_) + " -o allow_other", output) ||
        !mounted_at(fuse_mount_)) {
        why_not = name + ": the machine does not let us mount it: " + output;
        return false;
    }
    mount_point_ = fuse_mount_ + "/127.0.0.1/share";
    struct stat st {};
    for (int i = 0; i < 50 && ::stat(mount_point_.c_str(), &st) != 0; ++i) ::usleep(100'000);
    if (::stat(mount_point_.c_str(), &st) != 0) {
        why_not = name + ": the share does not show through smbnetfs";
        return false;
    }
    return true;
}

Mounted_Image::~Mounted_Image() {
    std::string output;
    const std::string& mounted = fuse_mount_.empty() ? mount_point_ : fuse_mount_;
    if (mounted_at(mounted) && !run("umount " + quoted(mounted), output))
        run("fusermount -u -z " + quoted(mounted), output);
    if (!loop_device_.empty()) run("losetup -d " + quoted(loop_device_), output);
    // The smbd started for the share, by its own pid file only.
    if (!server_folder_.empty())
        run("for f in " + quoted(server_folder_) + "/smbd*.pid; do [ -f \"$f\" ] && kill \"$(cat \"$f\")\"; done; true",
            output);
}

}  // namespace zentrel::testing
