#include "common/faulty_file_system.h"
#include "common/scripted_ui_host.h"
#include "common/temp_folder.h"
#include "support/support_routines.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cerrno>
#include <string>

namespace zentrel::support {
namespace {

using testing::exists;
using testing::Faulty_File_System;
using testing::Fs_Operation;
using testing::make_folders;
using testing::Temp_Folder;
using testing::write_file;

bool is_folder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class File_System_Helpers : public ::testing::Test {
protected:
    Temp_Folder tmp;
    testing::Scripted_Ui_Host host;
    Faulty_File_System fs{platform::real_file_system()};
    Support_Routines routines{host, fs, platform::Regional_Settings::german()};
};

TEST_F(File_System_Helpers, LookUpsFindOnlyTheirOwnKind) {
    make_folders(tmp / "dir");
    write_file(tmp / "file.txt", "x");

    auto folder = routines.Find_Folder(tmp / "dir");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->Path(), tmp / "dir");
    auto file = routines.Find_File(tmp / "file.txt");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Path(), tmp / "file.txt");

    EXPECT_FALSE(routines.Find_File(tmp / "dir"));
    EXPECT_FALSE(routines.Find_Folder(tmp / "file.txt"));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(File_System_Helpers, LookUpsOfNothingGiveNothing) {
    EXPECT_FALSE(routines.Find_Folder(""));
    EXPECT_FALSE(routines.Find_File(""));
    EXPECT_FALSE(routines.Find_Folder(tmp / "missing"));
    EXPECT_FALSE(routines.Find_File(tmp / "missing"));
    write_file(tmp / "file.txt", "x");
    EXPECT_FALSE(routines.Find_File(tmp / "file.txt/below"));
    EXPECT_FALSE(routines.Find_Folder(tmp / "file.txt/below"));
}

TEST_F(File_System_Helpers, LookUpsSwallowPlatformFailures) {
    make_folders(tmp / "dir");
    write_file(tmp / "dir/f", "x");
    fs.fail_suffix(Fs_Operation::status, "/dir", EACCES);
    fs.fail_suffix(Fs_Operation::status, "/dir/f", EIO);
    fs.fail_suffix(Fs_Operation::canonical, "/dir", EACCES);
    EXPECT_NO_THROW(EXPECT_FALSE(routines.Find_Folder(tmp / "dir")));
    EXPECT_NO_THROW(EXPECT_FALSE(routines.Find_File(tmp / "dir/f")));
}

TEST_F(File_System_Helpers, APathWithANulByteIsNeverTakenForItsPrefix) {
    make_folders(tmp / "dir");
    write_file(tmp / "f", "x");
    const std::string nul(1, '\0');
    EXPECT_FALSE(routines.Find_Folder(tmp / "dir" + nul + "x"));
    EXPECT_FALSE(routines.Find_File(tmp / "f" + nul + "x"));
    EXPECT_THROW(routines.Make_Folder(tmp / "new" + nul + "x"), platform::File_System_Error);
    EXPECT_FALSE(exists(tmp / "new"));
}

TEST_F(File_System_Helpers, MakeFolderCreatesMissingLevelsOneAtATime) {
    make_folders(tmp / "a");
    fs.reset_calls();

    EXPECT_TRUE(routines.Make_Folder(tmp / "a/b/c/"));
    EXPECT_TRUE(is_folder(tmp / "a/b"));
    EXPECT_TRUE(is_folder(tmp / "a/b/c"));
    EXPECT_EQ(fs.calls(Fs_Operation::create_folder), 2);

    fs.reset_calls();
    EXPECT_TRUE(routines.Make_Folder(tmp / "a/b/c/"));
    EXPECT_TRUE(routines.Make_Folder(tmp / "a/b/c"));
    EXPECT_EQ(fs.calls(Fs_Operation::create_folder), 0);
    EXPECT_TRUE(host.boxes.empty());

    // Another program (a second run into the same new target) makes a level
    // between our look and our mkdir: it is there, which is all we wanted.
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::create_folder && path == tmp / "a/d") make_folders(path);
    });
    EXPECT_TRUE(routines.Make_Folder(tmp / "a/d/e"));
    EXPECT_TRUE(is_folder(tmp / "a/d/e"));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(File_System_Helpers, MakeFolderOfNothingIsFalseWithoutAMessage) {
    EXPECT_FALSE(routines.Make_Folder(""));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(fs.calls(Fs_Operation::create_folder), 0);
}

TEST_F(File_System_Helpers, MakeFolderOfExistingFoldersCreatesNothing) {
    EXPECT_TRUE(routines.Make_Folder("/"));
    EXPECT_TRUE(routines.Make_Folder(tmp.path()));
    EXPECT_TRUE(routines.Make_Folder(tmp.path() + "///"));
    EXPECT_EQ(fs.calls(Fs_Operation::create_folder), 0);
}

TEST_F(File_System_Helpers, MakeFolderFoldsDotsAndDoubledSeparators) {
    make_folders(tmp / "a");
    EXPECT_TRUE(routines.Make_Folder(tmp.path() + "//a/./x/../y//z/"));
    EXPECT_TRUE(is_folder(tmp / "a/y/z"));
    EXPECT_FALSE(exists(tmp / "a/x"));
}

TEST_F(File_System_Helpers, MakeFolderTakesARelativePathAgainstTheCurrentFolder) {
    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(::chdir(tmp.path().c_str()), 0);
    bool made = false;
    EXPECT_NO_THROW(made = routines.Make_Folder("rel/sub"));
    ASSERT_EQ(::chdir(before), 0);
    EXPECT_TRUE(made);
    EXPECT_TRUE(is_folder(tmp / "rel/sub"));
}

// Linux names are case-sensitive: a name differing only in case is another folder.
TEST_F(File_System_Helpers, MakeFolderComparesNamesByteForByte) {
    make_folders(tmp / "abc");
    EXPECT_TRUE(routines.Make_Folder(tmp / "ABC"));
    EXPECT_TRUE(is_folder(tmp / "ABC"));
    EXPECT_TRUE(is_folder(tmp / "abc"));
}

TEST_F(File_System_Helpers, MakeFolderKeepsNamesThatAreNotUtf8) {
    const std::string name = tmp / "\xff\xfe";
    EXPECT_TRUE(routines.Make_Folder(name + "/\x80"));
    EXPECT_TRUE(is_folder(name + "/\x80"));
    EXPECT_TRUE(routines.Find_Folder(name + "/\x80"));
}

TEST_F(File_System_Helpers, MakeFolderBelowAFileFailsClearlyAndLeavesTheFile) {
    write_file(tmp / "file.txt", "content");
    try {
        routines.Make_Folder(tmp / "file.txt/sub/deeper");
        FAIL() << "no failure below a file";
    } catch (const platform::File_System_Error& failure) {
        EXPECT_EQ(failure.error_number(), ENOTDIR);
        EXPECT_EQ(failure.path(), tmp / "file.txt");
    }
    EXPECT_EQ(testing::read_file(tmp / "file.txt"), "content");
    EXPECT_FALSE(routines.Find_Folder(tmp / "file.txt/sub"));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(File_System_Helpers, MakeFolderLetsACreationFailureReachTheCaller) {
    make_folders(tmp / "ro");
    fs.fail(Fs_Operation::create_folder, tmp / "ro/new", EACCES);
    try {
        routines.Make_Folder(tmp / "ro/new/deeper");
        FAIL() << "the creation failure was swallowed";
    } catch (const platform::File_System_Error& failure) {
        EXPECT_EQ(failure.error_number(), EACCES);
        EXPECT_EQ(failure.path(), tmp / "ro/new");
    }
    EXPECT_FALSE(exists(tmp / "ro/new"));
    EXPECT_TRUE(host.boxes.empty());
}

// The root has no parent by Filepath's rule; the search must still stop there
// and create the first level directly below it.
TEST_F(File_System_Helpers, MakeFolderDirectlyBelowTheRootStartsAtTheRoot) {
    const std::string top = "/zentrel-support-test-" + std::to_string(::getpid());
    ASSERT_FALSE(exists(top));
    fs.fail(Fs_Operation::create_folder, top, EACCES);
    try {
        routines.Make_Folder(top + "/x");
        FAIL() << "no creation was attempted";
    } catch (const platform::File_System_Error& failure) {
        EXPECT_EQ(failure.path(), top);
    }
    EXPECT_EQ(fs.calls(Fs_Operation::create_folder), 1);
    EXPECT_FALSE(exists(top));
}

// Another program removes the new folder right after it was made: the
// look-up that follows the creation finds nothing. How many look-ups the
// creation makes itself is the file objects' business, so it is counted on a
// probe first and the removal comes on the first look-up after those.
TEST_F(File_System_Helpers, MakeFolderSaysSoWhenACreatedFolderCannotBeFound) {
    const std::string probe = tmp / "probe";
    int creation_look_ups = 0;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::status && path == probe) ++creation_look_ups;
    });
    routines.File_System().CreateFolder(probe);

    const std::string made = tmp / "made";
    int look_ups_after_creation = -1;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::create_folder && path == made) look_ups_after_creation = 0;
        if (operation == Fs_Operation::status && path == made && look_ups_after_creation >= 0 &&
            ++look_ups_after_creation == creation_look_ups + 1)
            ::rmdir(made.c_str());
    });
    host.answer(Answer_OK);
    EXPECT_FALSE(routines.Make_Folder(made + "/below"));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Fehler beim Anlegen von Verzeichnis '" + made + "'");
    EXPECT_EQ(host.boxes[0].buttons, Buttons_OK);
    EXPECT_EQ(host.boxes[0].title, "Zentrel");
    EXPECT_FALSE(exists(made + "/below"));
}

}  // namespace
}  // namespace zentrel::support
