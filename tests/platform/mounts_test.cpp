#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/temp_folder.h"
#include "platform/mounts.h"

namespace zentrel::platform {
namespace {

const char* const Mountinfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "23 22 0:5 / /proc rw,nosuid - proc proc rw\n"
    "40 22 0:40 / /mnt/Meine\\040Daten rw,relatime shared:20 master:3 - cifs //server/Freigabe\\040A rw,vers=3.0\n"
    "41 22 0:41 / /mnt/nfs rw - nfs4 nas:/export/home rw\n"
    "42 22 0:42 / /home/u/remote rw - fuse.sshfs u@host:/data rw\n"
    "43 22 8:1 /srv/data /mnt/bind rw - ext4 /dev/sda1 rw\n"
    "44 43 0:44 / /mnt/bind rw - tmpfs tmpfs rw\n"
    "45 22 0:45 / /mnt/tab\\011and\\134back rw - vfat /dev/sdb1 rw\n"
    "garbage line\n"
    "46 22 0:46 / /no/separator rw ext4 /dev/x rw\n";

TEST(Mounts_Test, ParsesMountinfoWithEscapes) {
    auto mounts = parse_mountinfo(Mountinfo);
    ASSERT_EQ(mounts.size(), 8u);
    EXPECT_EQ(mounts[0].mount_point, "/");
    EXPECT_EQ(mounts[0].file_system_type, "ext4");
    EXPECT_EQ(mounts[0].source, "/dev/sda1");
    EXPECT_EQ(mounts[2].mount_point, "/mnt/Meine Daten");
    EXPECT_EQ(mounts[2].file_system_type, "cifs");
    EXPECT_EQ(mounts[2].source, "//server/Freigabe A");
    EXPECT_EQ(mounts[7].mount_point, "/mnt/tab\tand\\back");
}

TEST(Mounts_Test, ParsesTheMountPointsOfFstab) {
    const char* const fstab =
        "# /etc/fstab: static file system information.\n"
        "UUID=1 / ext4 errors=remount-ro 0 1\n"
        "  UUID=2   none   swap   sw   0   0\n"
        "\n"
        "LABEL=STICK /media/usb\\040stick vfat noauto,user 0 0\n"
        "//nas/backup\t/mnt/nas cifs noauto,credentials=/x 0 0\n"
        "broken-line-without-point\n";
    EXPECT_EQ(parse_fstab(fstab), (std::vector<std::string>{"/", "/media/usb stick", "/mnt/nas"}));
}

TEST(Mounts_Test, FindsTheMountHoldingAPath) {
    auto mounts = parse_mountinfo(Mountinfo);
    EXPECT_EQ(mount_in(mounts, "/mnt/Meine Daten/a/b.txt").mount_point, "/mnt/Meine Daten");
    EXPECT_EQ(mount_in(mounts, "/mnt/Meine Daten").mount_point, "/mnt/Meine Daten");
    EXPECT_EQ(mount_in(mounts, "/mnt/Meine Datenbank").mount_point, "/");  // whole names only
    EXPECT_EQ(mount_in(mounts, "/proc/self").mount_point, "/proc");
    EXPECT_EQ(mount_in(mounts, "/mnt/bind/x").file_system_type, "tmpfs");  // mounted over the bind
    EXPECT_EQ(mount_in({}, "/x").mount_point, "/");
}

TEST(Mounts_Test, ShareNamesOfNetworkMountsOnly) {
    auto mounts = parse_mountinfo(Mountinfo);
    EXPECT_EQ(share_name(mount_in(mounts, "/mnt/Meine Daten/x")), "//server/Freigabe A");
    EXPECT_EQ(share_name(mount_in(mounts, "/mnt/nfs")), "nas:/export/home");
    EXPECT_EQ(share_name(mount_in(mounts, "/home/u/remote/f")), "u@host:/data");
    EXPECT_EQ(share_name(mount_in(mounts, "/home/u/local")), "");
    EXPECT_EQ(share_name({"/x", "smb3", "//s/t", "", "/"}), "//s/t");
}

TEST(Mounts_Test, SystemMountPoints) {
    EXPECT_TRUE(is_mount_point("/"));
    EXPECT_TRUE(is_mount_point("/proc"));
    EXPECT_TRUE(is_mount_point("/proc/"));
    EXPECT_FALSE(is_mount_point("/proc/self/fd"));
    EXPECT_EQ(mount_of("/proc/self/status").mount_point, "/proc");
    EXPECT_EQ(mount_of("/proc/self/status").file_system_type, "proc");
}

// A bind mount of a folder onto itself keeps the device, so only the mount
// table tells; one made or removed while the program runs must be seen.
TEST(Mounts_Test, MountsMadeWhileRunningAreSeen) {
    testing::Temp_Folder tmp;
    const std::string folder = tmp / "bound";
    testing::make_folders(folder);
    EXPECT_FALSE(is_mount_point(folder));  // the table is read now
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "no bind mounts here: " << std::strerror(errno);
    const bool seen_mounted = is_mount_point(folder);
    const std::string mount_point = mount_of(folder + "/x").mount_point;
    ::umount(folder.c_str());
    EXPECT_TRUE(seen_mounted);
    EXPECT_EQ(mount_point, folder);
    EXPECT_FALSE(is_mount_point(folder));
}

}  // namespace
}  // namespace zentrel::platform
