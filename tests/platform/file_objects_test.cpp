#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "common/faulty_file_system.h"
#include "common/temp_folder.h"
#include "platform/dos_attributes.h"
#include "platform/file_objects.h"

namespace zentrel::platform {
namespace {

using testing::exists;
using testing::make_folders;
using testing::read_file;
using testing::Temp_Folder;
using testing::write_file;

class File_Objects_Test : public ::testing::Test {
protected:
    Temp_Folder tmp;
    File_System_Objects objects{real_file_system()};
};

TEST(Normalize_Path_Test, FoldsSpellingOnly) {
    EXPECT_EQ(normalize_path("/"), "/");
    EXPECT_EQ(normalize_path("//"), "/");
    EXPECT_EQ(normalize_path("/a/b/"), "/a/b");
    EXPECT_EQ(normalize_path("/a//b///c"), "/a/b/c");
    EXPECT_EQ(normalize_path("/a/./b/."), "/a/b");
    EXPECT_EQ(normalize_path("/a/b/../c"), "/a/c");
    EXPECT_EQ(normalize_path("/a/b/../../.."), "/");
    EXPECT_EQ(normalize_path("/../x"), "/x");
    EXPECT_EQ(normalize_path("/."), "/");
    EXPECT_EQ(normalize_path("/a/.."), "/");
    EXPECT_EQ(normalize_path("/a/b/.."), "/a");
    EXPECT_EQ(normalize_path("/a/b//"), "/a/b");
    EXPECT_EQ(normalize_path("/a/..b/.c/..."), "/a/..b/.c/...");  // names, not steps
    EXPECT_EQ(normalize_path("/\xff/ü\n"), "/\xff/ü\n");

    char* cwd = ::getcwd(nullptr, 0);
    std::string here = cwd;
    std::free(cwd);
    EXPECT_EQ(normalize_path("rel/x/"), normalize_path(here + "/rel/x"));
    EXPECT_EQ(normalize_path("."), normalize_path(here));
}

TEST_F(File_Objects_Test, LookUpsTakeOnlyTheirKind) {
    write_file(tmp / "f.txt", "12345");
    make_folders(tmp / "d");
    ASSERT_EQ(::symlink("d", (tmp / "to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("f.txt", (tmp / "to-file").c_str()), 0);
    ASSERT_EQ(::symlink("missing", (tmp / "dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);

    File file = objects.GetFile(tmp / "./f.txt");
    EXPECT_EQ(file.Path(), tmp / "f.txt");
    EXPECT_EQ(file.Name(), "f.txt");
    EXPECT_EQ(file.Size(), 5u);
    EXPECT_FALSE(file.Is_Link());
    EXPECT_THROW(objects.GetFile(tmp / "d"), File_System_Error);
    EXPECT_TRUE(objects.GetFile(tmp / "to-folder").Is_Link());  // copied as a link, never followed
    EXPECT_TRUE(objects.GetFile(tmp / "to-file").Is_Link());
    EXPECT_TRUE(objects.GetFile(tmp / "dangling").Is_Link());
    EXPECT_THROW(objects.GetFile(tmp / "pipe"), File_System_Error);
    EXPECT_THROW(objects.GetFile(tmp / "missing"), File_System_Error);
    EXPECT_THROW(objects.GetFile(""), File_System_Error);

    Folder folder = objects.GetFolder(tmp / "d/");
    EXPECT_EQ(folder.Path(), tmp / "d");
    EXPECT_EQ(folder.Name(), "d");
    Folder through_link = objects.GetFolder(tmp / "to-folder");
    EXPECT_EQ(through_link.Path(), tmp / "to-folder");  // as asked, the link followed
    EXPECT_EQ(through_link.Status().kind, Entry_Kind::Directory);
    EXPECT_EQ(through_link.Status().inode, folder.Status().inode);
    EXPECT_THROW(objects.GetFolder(tmp / "f.txt"), File_System_Error);
    EXPECT_THROW(objects.GetFolder(tmp / "to-file"), File_System_Error);
    EXPECT_THROW(objects.GetFolder(tmp / "dangling"), File_System_Error);
    EXPECT_THROW(objects.GetFolder(tmp / "missing"), File_System_Error);
    EXPECT_THROW(objects.GetFolder(""), File_System_Error);

    EXPECT_EQ(objects.GetFolder("/").Path(), "/");
    EXPECT_EQ(objects.GetFolder("/").Name(), "");
}

TEST_F(File_Objects_Test, SymlinkLoopIsALinkAndNoFolder) {
    ASSERT_EQ(::symlink("loop-b", (tmp / "loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", (tmp / "loop-b").c_str()), 0);
    ASSERT_EQ(::symlink(".", (tmp / "self").c_str()), 0);
    EXPECT_THROW(objects.GetFolder(tmp / "loop-a"), File_System_Error);
    EXPECT_TRUE(objects.GetFile(tmp / "loop-a").Is_Link());

    // A link back to its own folder is no subfolder: a walk cannot circle.
    Folder folder = objects.GetFolder(tmp.path());
    EXPECT_TRUE(folder.SubFolders().empty());
    EXPECT_EQ(folder.Files_Count(), 3);
}

TEST_F(File_Objects_Test, SubFoldersAreRealFoldersInByteOrder) {
    for (const char* name : {"b", "B", "a", "ä", "\xff-latin1", "with blank"}) make_folders(tmp / name);
    write_file(tmp / "file", "");
    make_folders(tmp / "elsewhere");
    ASSERT_EQ(::symlink("elsewhere", (tmp / "c-link").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);

    Folder folder = objects.GetFolder(tmp.path());
    std::vector<std::string> names;
    for (const auto& sub : folder.SubFolders()) {
        names.push_back(sub.Name());
        EXPECT_EQ(sub.Path(), tmp / sub.Name());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"B", "a", "b", "elsewhere", "with blank", "ä", "\xff-latin1"}));
    EXPECT_EQ(folder.SubFolders_Count(), 7);
    EXPECT_EQ(folder.Files_Count(), 3);  // file, link, pipe
}

TEST_F(File_Objects_Test, FolderAttributesCarryTheDirectoryBit) {
    make_folders(tmp / "plain");
    make_folders(tmp / ".dot");
    EXPECT_EQ(objects.GetFolder(tmp / "plain").Attributes(), Attribute_Directory | Attribute_Archive);
    EXPECT_EQ(objects.GetFolder(tmp / ".dot").Attributes(), Attribute_Directory | Attribute_Hidden | Attribute_Archive);
    real_file_system().set_attribute(tmp / "plain", Dos_Attribute_Name, "0x4");
    ASSERT_EQ(::symlink("plain", (tmp / "link").c_str()), 0);
    // Behind a link the folder's own attributes count.
    EXPECT_EQ(objects.GetFolder(tmp / "link").Attributes(), Attribute_Directory | Attribute_System);
}

TEST_F(File_Objects_Test, MoveNeverReplacesAndFollowsItsFile) {
    write_file(tmp / "a.txt", "A");
    write_file(tmp / "b.txt", "B");
    File file = objects.GetFile(tmp / "a.txt");
    EXPECT_THROW(file.Move(tmp / "b.txt"), File_System_Error);
    EXPECT_EQ(file.Path(), tmp / "a.txt");
    EXPECT_EQ(read_file(tmp / "b.txt"), "B");

    file.Move(tmp / "./c.txt");
    EXPECT_EQ(file.Path(), tmp / "c.txt");
    EXPECT_EQ(read_file(tmp / "c.txt"), "A");
    EXPECT_FALSE(exists(tmp / "a.txt"));

    file.Move(tmp / ".hidden-now");
    EXPECT_TRUE(file.Attributes() & Attribute_Hidden);  // the name counts, not the old cache

    // A link moves itself.
    ASSERT_EQ(::symlink("b.txt", (tmp / "link").c_str()), 0);
    File link = objects.GetFile(tmp / "link");
    link.Move(tmp / "moved-link");
    EXPECT_EQ(real_file_system().read_link(tmp / "moved-link"), "b.txt");
    EXPECT_EQ(read_file(tmp / "b.txt"), "B");
}

TEST_F(File_Objects_Test, DeleteRefusesReadOnlyUnlessForced) {
    write_file(tmp / "ro-mode.txt", "x");
    ::chmod((tmp / "ro-mode.txt").c_str(), 0444);
    write_file(tmp / "ro-stored.txt", "x");  // Samba style: mode writable, bit stored
    real_file_system().set_attribute(tmp / "ro-stored.txt", Dos_Attribute_Name, "0x21");

    for (const char* name : {"ro-mode.txt", "ro-stored.txt"}) {
        SCOPED_TRACE(name);
        File file = objects.GetFile(tmp / name);
        try {
            file.Delete(false);
            FAIL() << "no exception";
        } catch (const File_System_Error& error) {
            EXPECT_EQ(error.error_number(), EACCES);
        }
        EXPECT_TRUE(exists(tmp / name));
        file.Delete(true);
        EXPECT_FALSE(exists(tmp / name));
    }

    write_file(tmp / "plain.txt", "x");
    objects.GetFile(tmp / "plain.txt").Delete(false);
    EXPECT_FALSE(exists(tmp / "plain.txt"));

    // A read-only bit set after the object was made still protects.
    write_file(tmp / "late.txt", "x");
    File late = objects.GetFile(tmp / "late.txt");
    ::chmod((tmp / "late.txt").c_str(), 0444);
    EXPECT_THROW(late.Delete(false), File_System_Error);
    EXPECT_TRUE(exists(tmp / "late.txt"));

    // Deleting a link removes the link only.
    write_file(tmp / "kept.txt", "kept");
    ASSERT_EQ(::symlink("kept.txt", (tmp / "link").c_str()), 0);
    objects.GetFile(tmp / "link").Delete(false);
    EXPECT_FALSE(exists(tmp / "link"));
    EXPECT_EQ(read_file(tmp / "kept.txt"), "kept");
}

TEST_F(File_Objects_Test, CreateFolderGivesTheNewFolder) {
    Folder made = objects.CreateFolder(tmp / "new//");
    EXPECT_EQ(made.Path(), tmp / "new");
    EXPECT_EQ(made.Status().kind, Entry_Kind::Directory);
    EXPECT_THROW(objects.CreateFolder(tmp / "new"), File_System_Error);
    EXPECT_THROW(objects.CreateFolder(tmp / "missing/deeper"), File_System_Error);
}

TEST_F(File_Objects_Test, RootFolderAndDrive) {
    make_folders(tmp / "sub");
    EXPECT_TRUE(objects.GetFolder("/").IsRootFolder());
    EXPECT_FALSE(objects.GetFolder(tmp / "sub").IsRootFolder());
    EXPECT_TRUE(objects.GetFolder("/proc").IsRootFolder());  // a file system of its own

    Drive drive = objects.GetFolder(tmp / "sub").Get_Drive();
    EXPECT_EQ(drive.Path.empty(), false);
    EXPECT_EQ((tmp / "sub").rfind(drive.Path == "/" ? "/" : drive.Path + "/", 0), 0u);
    EXPECT_EQ(drive.ShareName, "");  // a local disk
    EXPECT_EQ(objects.GetFolder("/proc/self").Get_Drive().Path, "/proc");
}

TEST_F(File_Objects_Test, FileDateAndTimes) {
    write_file(tmp / "f", "");
    testing::set_mtime(tmp / "f", 1700000000, 5);
    File file = objects.GetFile(tmp / "f");
    EXPECT_EQ(file.Modified_Time(), (File_Time{1700000000, 5}));
    // 2023-11-14 in any time zone: days since 1899-12-30.
    EXPECT_GT(file.DateLastModified(), 45243.0);
    EXPECT_LT(file.DateLastModified(), 45246.0);
}

}  // namespace
}  // namespace zentrel::platform
