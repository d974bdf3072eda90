// What a mount's type (and for FUSE drivers the boot sector of what they
// mounted) says about the file system: the kernel's own drivers cannot be
// mounted on every machine, so their answers are checked here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/temp_folder.h"
#include "platform/file_system_kind.h"
#include "platform/time_steps.h"

namespace zentrel::platform {
namespace {

using testing::Temp_Folder;

struct Mount_Case {
    std::string type;
    std::string make;  // mkfs command for an image the FUSE driver mounted, or empty
    std::string name;
    std::int64_t time_step;
    bool ignores_case;
    Native_Attributes native;
};

class File_System_Kind_Test : public ::testing::TestWithParam<Mount_Case> {};

TEST_P(File_System_Kind_Test, KnowsWhatTheMountKeeps) {
    const Mount_Case& mount = GetParam();
    Temp_Folder tmp;
    std::string source = "/dev/sdz1";
    if (!mount.make.empty()) {
        source = tmp / "image.img";
        const std::string command =
            "truncate -s 64M '" + source + "' && " + mount.make + " '" + source + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) GTEST_SKIP() << mount.make << " is not installed";
    }
    const File_System_Kind kind = file_system_kind_of_mount(mount.type, source, tmp.path());
    EXPECT_EQ(kind.name, mount.name);
    // The image's serial, where a test can read it, spelt as blkid spells it
    // (a stick's user gets udev's record of the same, below).
    if (!mount.make.empty() && kind.time_step_known && std::system("command -v blkid >/dev/null") == 0) {
        std::string uuid;
        std::unique_ptr<FILE, int (*)(FILE*)> blkid(::popen(("blkid -s UUID -o value '" + source + "'").c_str(), "r"),
                                                    ::pclose);
        for (int c; blkid && (c = std::fgetc(blkid.get())) != EOF && c != '\n';) uuid += static_cast<char>(c);
        EXPECT_FALSE(uuid.empty());
        EXPECT_EQ(file_system_volume_of_mount(mount.type, source, ""), uuid);
    }
    EXPECT_EQ(kind.time_step, mount.time_step);
    EXPECT_EQ(kind.ignores_case, mount.ignores_case);
    EXPECT_EQ(kind.native, mount.native);
    const bool windows = mount.name == "FAT" || mount.name == "exFAT" || mount.name == "NTFS";
    EXPECT_EQ(kind.windows_names, windows || mount.type == "fuse.smbnetfs");
    EXPECT_EQ(kind.holds_links, mount.name != "FAT" && mount.name != "exFAT" && mount.type != "fuse.smbnetfs");
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, File_System_Kind_Test,
    ::testing::Values(
        Mount_Case{"vfat", "", "FAT", 2'000'000'000, true, Native_Attributes::Fat_Ioctl},
        Mount_Case{"msdos", "", "FAT", 2'000'000'000, true, Native_Attributes::Fat_Ioctl},
        Mount_Case{"exfat", "", "exFAT", 10'000'000, true, Native_Attributes::None},
        Mount_Case{"ntfs3", "", "NTFS", 100, true, Native_Attributes::Ntfs_Xattr},
        Mount_Case{"cifs", "", "SMB", 100, true, Native_Attributes::None},
        Mount_Case{"tmpfs", "", "", 1, false, Native_Attributes::None},
        // ext4 keeps nanoseconds; the test folder's change time shows them
        // (only ext2 and ext3 with small inodes keep whole seconds).
        Mount_Case{"ext4", "", "", 1, false, Native_Attributes::None},
        Mount_Case{"fuse.fusefat", "", "FAT", 2'000'000'000, true, Native_Attributes::None},
        // FUSE drivers that show no subtype: the boot sector tells.
        Mount_Case{"fuseblk", "mkfs.exfat", "exFAT", 1'000'000'000, true, Native_Attributes::None},
        Mount_Case{"fuse", "mkntfs -F -Q", "NTFS", 100, true, Native_Attributes::Ntfs_Xattr},
        // A device that cannot be read: the driver's name tells.
        Mount_Case{"fuse.ntfs-3g", "", "NTFS", 100, true, Native_Attributes::Ntfs_Xattr},
        Mount_Case{"fuseblk", "mkfs.vfat", "FAT", 2'000'000'000, true, Native_Attributes::None},
        Mount_Case{"fuseblk", "mkfs.vfat -F 32 -s 1", "FAT", 2'000'000'000, true, Native_Attributes::None},
        // A FAT boot sector without its closing mark is no FAT; a fuseblk
        // mount that nothing else names is taken as exFAT (Windows' names),
        // whose times the run measures.
        Mount_Case{"fuseblk", R"(sh -c 'mkfs.vfat "$1" && printf "\0\0" | dd of="$1" bs=1 seek=510 conv=notrunc' sh)",
                   "exFAT", 1, true, Native_Attributes::None},
        // SFTP and smbnetfs carry whole seconds.
        Mount_Case{"fuse.sshfs", "", "SFTP", 1'000'000'000, false, Native_Attributes::None},
        Mount_Case{"fuse.smbnetfs", "", "SMB", 1'000'000'000, true, Native_Attributes::None}));

// A stick mounted by a desktop for its user: the device is readable by root
// only, udev's record of it by everyone.
TEST(File_System_Kind, UdevTellsWhatAnUnreadableDeviceHolds) {
    Temp_Folder tmp;
    const std::string udev = tmp / "udev";
    const struct {
        const char* type;
        const char* recorded;
        const char* name;
        std::int64_t step;
    } cases[] = {{"exfat", "E:ID_FS_TYPE=exfat", "exFAT", 1'000'000'000},
                 {"vfat", "E:ID_FS_TYPE=vfat", "FAT", 2'000'000'000},
                 {"ntfs", "E:ID_FS_TYPE=ntfs", "NTFS", 100}};
    for (const auto& c : cases) {
        std::filesystem::create_directories(udev);
        std::ofstream(udev + "/b8:17") << "S:disk/by-label/STICK\nE:ID_FS_LABEL=STICK\n"
                                       << c.recorded << "\nE:ID_FS_UUID=5324-F0BC\nG:systemd\n";
        // Its identity, which outlives the mount: the same through the
        // kernel's driver and through FUSE.
        EXPECT_EQ(file_system_volume_of_mount(c.type, "/dev/sdb1", "8:17", udev), "5324-F0BC") << c.type;
        EXPECT_EQ(file_system_volume_of_mount("fuseblk", "/dev/sdb1", "8:17", udev), "5324-F0BC") << c.type;
        const File_System_Kind kind =
            file_system_kind_of_mount("fuseblk", "/dev/zentrel-no-such-device", tmp.path(), "8:17", udev);
        EXPECT_EQ(kind.name, c.name) << c.type;
        EXPECT_EQ(kind.time_step, c.step) << c.type;
        EXPECT_TRUE(kind.time_step_known) << c.type;
        EXPECT_TRUE(kind.checks_time_after_copy) << c.type;
    }
    // Without a record a fuseblk mount is measured by the run.
    const File_System_Kind unknown =
        file_system_kind_of_mount("fuseblk", "/dev/zentrel-no-such-device", tmp.path(), "8:18", udev);
    EXPECT_FALSE(unknown.time_step_known);
    EXPECT_TRUE(unknown.ignores_case);
    // Nothing known: a device without a record, a FUSE driver whose source
    // is no device (its own number, 0:45, is made anew at each mount), tmpfs.
    EXPECT_EQ(file_system_volume_of_mount("fuseblk", "/dev/zentrel-no-such-device", "8:18", udev), "");
    std::ofstream(udev + "/b0:45") << "E:ID_FS_UUID=nie\n";
    EXPECT_EQ(file_system_volume_of_mount("fuse.sshfs", "localhost:/srv", "0:45", udev), "");
    EXPECT_EQ(file_system_volume_of_mount("tmpfs", "tmpfs", "0:46", udev), "");
}

TEST(File_System_Kind, AMeasuredTimeTellsTheStep) {
    const File_Time set{1'600'000'001, 987'654'321};
    EXPECT_EQ(time_step_shown(set, set), 1);
    EXPECT_EQ(time_step_shown(set, {1'600'000'001, 987'654'300}), 100);
    EXPECT_EQ(time_step_shown(set, {1'600'000'001, 980'000'000}), 10'000'000);
    EXPECT_EQ(time_step_shown(set, {1'600'000'001, 0}), 1'000'000'000);
    EXPECT_EQ(time_step_shown(set, {1'600'000'000, 0}), 2'000'000'000);
    // A time of the file system's own (the clock at the close) tells nothing.
    EXPECT_EQ(time_step_shown(set, {1'765'000'000, 123'000'000}), std::nullopt);
}

TEST(File_System_Kind, TimesAreCutDownToTheStepAlsoBefore1970) {
    EXPECT_EQ(truncated_time({1'600'000'001, 123'456'789}, 2'000'000'000), (File_Time{1'600'000'000, 0}));
    EXPECT_EQ(truncated_time({1'600'000'001, 123'456'789}, 100), (File_Time{1'600'000'001, 123'456'700}));
    EXPECT_EQ(truncated_time({-3, 500'000'000}, 2'000'000'000), (File_Time{-4, 0}));
    EXPECT_EQ(truncated_time({-3, 500'000'000}, 1), (File_Time{-3, 500'000'000}));
}

TEST(File_System_Kind, WindowsNamesAndCase) {
    File_System_Kind fat;
    fat.name = "FAT";
    fat.windows_names = true;
    for (const char* refused :
         {"a:b", "frage?", "stern*", "x|y", "ende.", "ende ", "CON", "nul.txt", "Com1.log", "LPT9", "tab\tname"})
        EXPECT_FALSE(refused_name_reason(fat, refused).empty()) << refused;
    for (const char* taken : {"Bericht.txt", "console", "COM0", "com10", ".versteckt", "ärger", "a b.txt"})
        EXPECT_EQ(refused_name_reason(fat, taken), "") << taken;
    EXPECT_EQ(refused_name_reason(File_System_Kind{}, "a:b."), "");

    EXPECT_EQ(case_folded("Bericht.TXT"), "bericht.txt");
    EXPECT_EQ(case_folded("AZ@[`{"), "az@[`{");  // the ends of the alphabet, and their neighbours kept
    EXPECT_EQ(case_folded("ÄRGER-Ölß"), "ärger-ölß");
    EXPECT_EQ(case_folded(std::string("\xff\xc3", 2)), std::string("\xff\xc3", 2));  // no UTF-8: kept
}

}  // namespace
}  // namespace zentrel::platform
