// The in-memory file system answers as the real one does where the job
// counts on it, so that a run over it is a run as over a real stick: each
// case runs over a real test folder and over memory.
#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/memory_file_system.h"
#include "common/temp_folder.h"
#include "platform/file_system.h"
#include "platform/file_system_kind.h"
#include "platform/tree_lock.h"

namespace zentrel::testing {
namespace {

using platform::File_System;

int error_of(const std::function<void()>& call) {
    try {
        call();
    } catch (const platform::File_System_Error& error) {
        return error.error_number();
    }
    return 0;
}

class Like_The_Real_One : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            fs = &memory;
            memory.make_folders(tmp.path());
        }
        root = tmp.path();
        fs->create_folder(root + "/d");
        write(root + "/d/a.txt", "alpha");
        fs->create_link("a.txt", root + "/d/verweis");
    }
    void write(const std::string& path, const std::string& text) {
        GetParam() ? memory.write_file(path, text) : testing::write_file(path, text);
    }

    Temp_Folder tmp;
    Memory_File_System memory;
    File_System* fs = &platform::real_file_system();
    std::string root;
};

TEST_P(Like_The_Real_One, FailsWhereTheKernelFails) {
    EXPECT_EQ(error_of([&] { fs->create_folder(root + "/d"); }), EEXIST);
    EXPECT_EQ(error_of([&] { fs->create_folder(root + "/fehlt/d"); }), ENOENT);
    EXPECT_EQ(error_of([&] { fs->copy_contents(root + "/d/a.txt", root + "/d/verweis", 0644); }), EEXIST);
    EXPECT_EQ(error_of([&] { fs->rename(root + "/d/a.txt", root + "/d/verweis", false); }), EEXIST);
    EXPECT_EQ(error_of([&] { fs->read_link(root + "/d/a.txt"); }), EINVAL);
    EXPECT_EQ(error_of([&] { fs->read_folder(root + "/d/a.txt"); }), ENOTDIR);
    EXPECT_NE(error_of([&] { fs->remove_file(root + "/d"); }), 0);
    EXPECT_FALSE(fs->status(root + "/d/a.txt/x"));
    EXPECT_FALSE(fs->status(root + "/fehlt"));
}

TEST_P(Like_The_Real_One, LinksAreFollowedOnlyWithinAPath) {
    EXPECT_EQ(fs->status(root + "/d/verweis")->kind, platform::Entry_Kind::Symlink);
    fs->create_link("d", root + "/e");
    EXPECT_EQ(fs->status(root + "/e/a.txt")->kind, platform::Entry_Kind::Regular);
    EXPECT_EQ(fs->canonical(root + "/e/verweis/../fehlt/x"), fs->canonical(root) + "/d/fehlt/x");
    fs->rename(root + "/d/verweis", root + "/d/b", true);
    EXPECT_EQ(fs->read_link(root + "/d/b"), "a.txt");

    // Replacing moves the entry: the old name is free, the new one holds it.
    fs->copy_contents(root + "/d/a.txt", root + "/d/c.txt", 0600);
    fs->rename(root + "/d/c.txt", root + "/d/a.txt", true);
    EXPECT_FALSE(fs->status(root + "/d/c.txt"));
    EXPECT_EQ(fs->status(root + "/d/a.txt")->mode, 0600u);
}

TEST_P(Like_The_Real_One, AFolderLockedForATreeKeepsOverlappingTreesOut) {
    fs->create_folder(root + "/d/unter");
    platform::Tree_Lock first(*fs);
    ASSERT_TRUE(first.acquire(root + "/d"));
    platform::Tree_Lock second(*fs);
    EXPECT_FALSE(second.acquire(root + "/d/unter"));
    EXPECT_FALSE(second.acquire(root));
    fs->create_folder(root + "/anderes");
    EXPECT_TRUE(second.acquire(root + "/anderes"));
    first.release();
    EXPECT_TRUE(second.acquire(root + "/d/unter"));
}

INSTANTIATE_TEST_SUITE_P(Real_And_Memory, Like_The_Real_One, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Memory" : "Real"; });

// A stick's volume: names by case, times cut down, no links, no extended
// attributes, no move onto another volume.
TEST(Memory_File_System, AFatVolumeKeepsWhatFatKeeps) {
    Memory_File_System fs;
    fs.make_folders("/stick");
    fs.mount("/stick", Memory_Volume::fat());
    fs.make_folders("/home");
    fs.write_file("/stick/Bericht.txt", "report");
    fs.write_file("/home/notiz.txt", "note");

    EXPECT_EQ(fs.contents("/stick/BERICHT.TXT"), "report");
    fs.copy_contents("/home/notiz.txt", "/stick/NOTIZ.TXT", 0644);
    fs.rename("/stick/NOTIZ.TXT", "/stick/bericht.txt", true);
    EXPECT_EQ(fs.read_folder("/stick").size(), 1u);
    EXPECT_EQ(fs.read_folder("/stick")[0].name, "Bericht.txt");
    EXPECT_EQ(fs.contents("/stick/Bericht.txt"), "note");
    EXPECT_EQ(error_of([&] { fs.copy_contents("/home/notiz.txt", "/stick/frage?.txt", 0644); }), EINVAL);
    EXPECT_EQ(error_of([&] { fs.create_link("x", "/stick/verweis"); }), EPERM);
    EXPECT_EQ(error_of([&] { fs.set_attribute("/stick/Bericht.txt", "user.x", "1"); }), ENOTSUP);
    EXPECT_EQ(error_of([&] { fs.rename("/stick/Bericht.txt", "/home/b.txt", false); }), EXDEV);

    fs.set_modified("/stick/Bericht.txt", {1'600'000'001, 999'999'999});
    EXPECT_EQ(fs.status("/stick/Bericht.txt")->modified, (platform::File_Time{1'600'000'000, 0}));
    fs.set_modified("/home/notiz.txt", {1'600'000'001, 999'999'999});
    EXPECT_EQ(fs.status("/home/notiz.txt")->modified, (platform::File_Time{1'600'000'001, 999'999'999}));

    const auto stick = fs.status("/stick/Bericht.txt")->device;
    EXPECT_TRUE(fs.kind_of("/stick/Bericht.txt", stick).ignores_case);
    EXPECT_FALSE(fs.folder_kind("/home").ignores_case);
    EXPECT_EQ(fs.mount_of("/stick/Bericht.txt").mount_point, "/stick");
    EXPECT_TRUE(fs.is_mount_point("/stick"));
}

}  // namespace
}  // namespace zentrel::testing
