#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "common/faulty_file_system.h"
#include "common/stepwise_file_system.h"
#include "common/temp_folder.h"
#include "common/unprivileged.h"
#include "platform/copy_progress.h"
#include "platform/dos_attributes.h"
#include "platform/file_objects.h"

namespace zentrel::platform {
namespace {

using testing::exists;
using testing::Faulty_File_System;
using testing::Fs_Operation;
using testing::read_file;
using testing::Temp_Folder;
using testing::write_file;

class File_Copy_Test : public ::testing::Test {
protected:
    Temp_Folder tmp;
    Faulty_File_System fs{real_file_system()};
    File_System_Objects objects{fs};

    // Names in the folder besides the ones a test made on purpose: a
    // temporary file left behind shows up here.
    std::vector<std::string> names_in(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : real_file_system().read_folder(folder)) names.push_back(entry.name);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(File_Copy_Test, KeepsContentTimeModeAndDosAttributes) {
    std::string content(200000, 'c');
    content[0] = '\0';
    write_file(tmp / "src/a.txt", content);
    ::chmod((tmp / "src/a.txt").c_str(), 0751);
    testing::set_mtime(tmp / "src/a.txt", 1600000000, 999999999);
    File source = objects.GetFile(tmp / "src/a.txt");
    source.Set_Attributes(Attribute_Hidden | Attribute_System);  // archive cleared, time recorded

    testing::make_folders(tmp / "dst");
    source.Copy(tmp / "dst/a.txt", true);

    File copy = objects.GetFile(tmp / "dst/a.txt");
    EXPECT_EQ(read_file(copy.Path()), content);
    EXPECT_EQ(copy.Modified_Time(), (File_Time{1600000000, 999999999}));
    EXPECT_EQ(copy.Status().mode, 0751u);
    EXPECT_EQ(copy.Attributes(), Attribute_Hidden | Attribute_System);  // archive still clear
    EXPECT_EQ(names_in(tmp / "dst"), std::vector<std::string>{"a.txt"});
}

TEST_F(File_Copy_Test, CopyCountsItsBytesForTheScopeOfItsThread) {
    const std::string content(3 * 1024 * 1024 + 17, 'p');
    write_file(tmp / "src/big.bin", content);
    testing::make_folders(tmp / "dst");
    std::atomic<std::uint64_t> outer{0}, inner{0};
    {
        Copy_Progress_Scope counting(outer);
        objects.GetFile(tmp / "src/big.bin").Copy(tmp / "dst/1.bin", true);
        {
            Copy_Progress_Scope nested(inner);
            objects.GetFile(tmp / "src/big.bin").Copy(tmp / "dst/2.bin", true);
        }
    }
    objects.GetFile(tmp / "src/big.bin").Copy(tmp / "dst/3.bin", true);  // counted nowhere
    EXPECT_EQ(outer.load(), content.size());
    EXPECT_EQ(inner.load(), content.size());
    EXPECT_EQ(read_file(tmp / "dst/2.bin"), content);
}

// The real file system copies on the open files, without the look-up
// before; a file that has become a link since it was looked up is still
// copied as a link, never followed.
TEST_F(File_Copy_Test, RealFileSystemCopiesAFileThatBecameALinkAsALink) {
    File_System_Objects real{real_file_system()};
    write_file(tmp / "src/a.txt", "old content");
    write_file(tmp / "elsewhere.txt", "never to be copied");
    File source = real.GetFile(tmp / "src/a.txt");
    ASSERT_EQ(::unlink((tmp / "src/a.txt").c_str()), 0);
    ASSERT_EQ(::symlink((tmp / "elsewhere.txt").c_str(), (tmp / "src/a.txt").c_str()), 0);

    testing::make_folders(tmp / "dst");
    source.Copy(tmp / "dst/a.txt", true);
    auto copy = real_file_system().status(tmp / "dst/a.txt");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->kind, Entry_Kind::Symlink);
    EXPECT_EQ(real_file_system().read_link(tmp / "dst/a.txt"), tmp / "elsewhere.txt");
    EXPECT_EQ(names_in(tmp / "dst"), std::vector<std::string>{"a.txt"});

    // Gone altogether: the source's own failure, and nothing left behind.
    ASSERT_EQ(::unlink((tmp / "src/a.txt").c_str()), 0);
    File other = real.GetFile(tmp / "elsewhere.txt");
    ASSERT_EQ(::unlink((tmp / "elsewhere.txt").c_str()), 0);
    try {
        other.Copy(tmp / "dst/b.txt", true);
        ADD_FAILURE() << "copied a file that is gone";
    } catch (const File_System_Error& error) {
        EXPECT_EQ(error.error_number(), ENOENT);
        EXPECT_EQ(error.path(), tmp / "elsewhere.txt");
    }
    EXPECT_EQ(names_in(tmp / "dst"), std::vector<std::string>{"a.txt"});
}

TEST_F(File_Copy_Test, ReadOnlySourceWithAttributesIsCopiedWhole) {
    write_file(tmp / "ro.txt", "read only");
    File source = objects.GetFile(tmp / "ro.txt");
    source.Set_Attributes(Attribute_Read_Only | Attribute_Hidden | Attribute_Archive);
    source = objects.GetFile(tmp / "ro.txt");
    source.Copy(tmp / "copy.txt", false);
    File copy = objects.GetFile(tmp / "copy.txt");
    EXPECT_EQ(copy.Attributes(), Attribute_Read_Only | Attribute_Hidden | Attribute_Archive);
    EXPECT_EQ(copy.Status().mode & 0222, 0u);
}

// A copy is made with its source's bits where the folder's earlier copies
// showed that new files keep them, else it is given them afterwards: under
// every umask each copy has its source's mode, also one asking for bits the
// folder's earlier copies did not show, and a read-only source whose
// attributes its owner can only write while the copy is still writable.
TEST_F(File_Copy_Test, EveryCopyHasItsSourcesModeUnderAnyUmask) {
    testing::Hand_Over(tmp.path());
    auto outcome = testing::Run_Unprivileged([&]() -> std::string {
        for (const mode_t mask : {022, 077, 002, 0}) {
            const std::string folder = tmp / ("dst" + std::to_string(mask));
            testing::make_folders(folder);
            for (const mode_t mode : {0644, 0600, 0664, 0755, 0444, 0640, 0777}) {
                const std::string name = "m" + std::to_string(mode) + "u" + std::to_string(mask);
                write_file(tmp / name, "bits");
                if (mode == 0444) objects.GetFile(tmp / name).Set_Attributes(Attribute_Hidden | Attribute_Archive);
                ::chmod((tmp / name).c_str(), mode);
                const mode_t before = ::umask(mask);
                try {
                    objects.GetFile(tmp / name).Copy(folder + "/" + name, true);
                } catch (const std::exception& error) {
                    ::umask(before);
                    return name + " under umask " + std::to_string(mask) + ": " + error.what();
                }
                ::umask(before);
                struct stat copy {};
                if (::lstat((folder + "/" + name).c_str(), &copy) != 0 || (copy.st_mode & 07777) != mode)
                    return name + " under umask " + std::to_string(mask) + " has mode " +
                           std::to_string(copy.st_mode & 07777);
                if (mode == 0444 && objects.GetFile(folder + "/" + name).Attributes() !=
                                        (Attribute_Read_Only | Attribute_Hidden | Attribute_Archive))
                    return "the read-only copy lost its attributes";
            }
        }
        return "";
    });
    if (outcome.skipped) GTEST_SKIP() << outcome.message;
    EXPECT_EQ(outcome.message, "");
}

TEST_F(File_Copy_Test, OverwriteReplacesAndWithoutItRefuses) {
    write_file(tmp / "new.txt", "new");
    write_file(tmp / "old.txt", "old");
    File source = objects.GetFile(tmp / "new.txt");
    try {
        source.Copy(tmp / "old.txt", false);
        FAIL() << "no exception";
    } catch (const File_System_Error& error) {
        EXPECT_EQ(error.error_number(), EEXIST);
    }
    EXPECT_EQ(read_file(tmp / "old.txt"), "old");
    source.Copy(tmp / "old.txt", true);
    EXPECT_EQ(read_file(tmp / "old.txt"), "new");
    EXPECT_EQ(names_in(tmp.path()), (std::vector<std::string>{"new.txt", "old.txt"}));
}

TEST_F(File_Copy_Test, LinkIsRecreatedAsALink) {
    write_file(tmp / "target.txt", "t");
    ASSERT_EQ(::symlink("target.txt", (tmp / "link").c_str()), 0);
    ASSERT_EQ(::symlink("../nowhere", (tmp / "dangling").c_str()), 0);
    testing::set_mtime(tmp / "link", 1500000000, 42);
    testing::make_folders(tmp / "dst");

    objects.GetFile(tmp / "link").Copy(tmp / "dst/link", true);
    objects.GetFile(tmp / "dangling").Copy(tmp / "dst/dangling", true);

    EXPECT_EQ(real_file_system().read_link(tmp / "dst/link"), "target.txt");
    EXPECT_EQ(real_file_system().status(tmp / "dst/link")->modified, (File_Time{1500000000, 42}));
    EXPECT_EQ(real_file_system().read_link(tmp / "dst/dangling"), "../nowhere");
    EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 0);
    EXPECT_EQ(names_in(tmp / "dst"), (std::vector<std::string>{"dangling", "link"}));
}

TEST_F(File_Copy_Test, DestinationLinkIsReplacedNeverWrittenThrough) {
    write_file(tmp / "precious.txt", "precious");
    ASSERT_EQ(::symlink("precious.txt", (tmp / "dest").c_str()), 0);
    write_file(tmp / "src.txt", "new content");
    objects.GetFile(tmp / "src.txt").Copy(tmp / "dest", true);
    EXPECT_EQ(read_file(tmp / "precious.txt"), "precious");
    EXPECT_EQ(real_file_system().status(tmp / "dest")->kind, Entry_Kind::Regular);
    EXPECT_EQ(read_file(tmp / "dest"), "new content");
}

TEST_F(File_Copy_Test, SpecialFilesAreRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);
    File pipe(fs, tmp / "pipe", *fs.status(tmp / "pipe"));
    try {
        pipe.Copy(tmp / "copy", true);
        FAIL() << "no exception";
    } catch (const File_System_Error& error) {
        EXPECT_NE(std::string(error.what()).find("Pipe"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(exists(tmp / "copy"));
    EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 0);  // never opened

    // A file object made while it was a file, a pipe by the time of the copy.
    write_file(tmp / "swapped", "x");
    File swapped = objects.GetFile(tmp / "swapped");
    ::unlink((tmp / "swapped").c_str());
    ASSERT_EQ(::mkfifo((tmp / "swapped").c_str(), 0600), 0);
    EXPECT_THROW(swapped.Copy(tmp / "copy", true), File_System_Error);
    EXPECT_FALSE(exists(tmp / "copy"));
}

TEST_F(File_Copy_Test, FailureHalfWayLeavesTheOldDestinationAndNoTemporaryFile) {
    write_file(tmp / "src/big.bin", std::string(100000, 'n'));
    write_file(tmp / "dst/big.bin", "old version");
    File source = objects.GetFile(tmp / "src/big.bin");
    // The real copy sets the time on the open file; step by step, a failure
    // there comes after the whole content is in.
    testing::Stepwise_File_System stepwise(fs);
    File_System_Objects stepwise_objects{stepwise};
    File stepwise_source = stepwise_objects.GetFile(tmp / "src/big.bin");

    struct Fault {
        const char* what;
        std::function<void()> install;
        File* source;
    } faults[] = {
        {"disk full", [&] { fs.fail_copy_after(tmp / "src/big.bin", 8192); }, &source},
        {"I/O error", [&] { fs.fail_copy_after(tmp / "src/big.bin", 50000, EIO); }, &source},
        {"read fails", [&] { fs.fail(Fs_Operation::copy_file, tmp / "src/big.bin", EIO); }, &source},
        {"time fails", [&] { fs.fail_suffix(Fs_Operation::set_modified, ".part", EPERM); }, &stepwise_source},
        {"rename fails", [&] { fs.fail(Fs_Operation::rename, tmp / "dst/big.bin", EXDEV); }, &source},
    };
    for (auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        fs.clear();
        fault.install();
        EXPECT_THROW(fault.source->Copy(tmp / "dst/big.bin", true), File_System_Error);
        EXPECT_EQ(read_file(tmp / "dst/big.bin"), "old version");
        EXPECT_EQ(names_in(tmp / "dst"), std::vector<std::string>{"big.bin"});
    }

    // The failure names the destination, never the temporary file.
    fs.clear();
    fs.fail_copy_after(tmp / "src/big.bin", 8192);
    try {
        source.Copy(tmp / "dst/big.bin", true);
        FAIL() << "no exception";
    } catch (const File_System_Error& error) {
        EXPECT_EQ(error.error_number(), ENOSPC);
        EXPECT_EQ(error.path(), tmp / "dst/big.bin");
    }
    try {
        source.Copy(tmp / "no-such-folder/big.bin", true);
        FAIL() << "no exception";
    } catch (const File_System_Error& error) {
        EXPECT_EQ(error.error_number(), ENOENT);
        EXPECT_EQ(error.path(), tmp / "no-such-folder/big.bin");
    }

    // Without an old version nothing is left at all.
    fs.clear();
    fs.fail_copy_after(tmp / "src/big.bin", 8192);
    EXPECT_THROW(source.Copy(tmp / "dst/fresh.bin", false), File_System_Error);
    EXPECT_FALSE(exists(tmp / "dst/fresh.bin"));
    EXPECT_EQ(names_in(tmp / "dst"), std::vector<std::string>{"big.bin"});
}

TEST_F(File_Copy_Test, TargetWithoutExtendedAttributes) {
    write_file(tmp / "plain.txt", "plain");
    write_file(tmp / "hidden.txt", "hidden");
    objects.GetFile(tmp / "hidden.txt").Set_Attributes(Attribute_Hidden | Attribute_Archive);
    testing::make_folders(tmp / "fat");
    // The target folder's file system refuses every extended attribute; the
    // copy writes them one by one, where the fault reaches them.
    testing::Stepwise_File_System stepwise(fs);
    File_System_Objects objects{stepwise};
    fs.fail_suffix(Fs_Operation::set_attribute, ".part", ENOTSUP);
    fs.reset_calls();

    objects.GetFile(tmp / "plain.txt").Copy(tmp / "fat/plain.txt", true);
    EXPECT_EQ(read_file(tmp / "fat/plain.txt"), "plain");
    EXPECT_EQ(fs.calls(Fs_Operation::set_attribute), 0);  // nothing to carry, nothing tried

    // The data matters more than the hidden bit, which FAT cannot keep.
    objects.GetFile(tmp / "hidden.txt").Copy(tmp / "fat/hidden.txt", true);
    EXPECT_EQ(read_file(tmp / "fat/hidden.txt"), "hidden");
    EXPECT_EQ(names_in(tmp / "fat"), (std::vector<std::string>{"hidden.txt", "plain.txt"}));

    // Any other failure to write them fails the copy.
    fs.clear();
    fs.fail_suffix(Fs_Operation::set_attribute, ".part", EIO);
    EXPECT_THROW(objects.GetFile(tmp / "hidden.txt").Copy(tmp / "fat/other.txt", true), File_System_Error);
    EXPECT_FALSE(exists(tmp / "fat/other.txt"));
    EXPECT_EQ(names_in(tmp / "fat"), (std::vector<std::string>{"hidden.txt", "plain.txt"}));
}

TEST_F(File_Copy_Test, TakenTemporaryNameIsNeverTouched) {
    write_file(tmp / "src.txt", "s");
    // A destination to replace needs a temporary name (the copy without a
    // name finds the destination taken). Someone else's file under a name we
    // might draw: the first temporary name collides, the second is free.
    write_file(tmp / "dst.txt", "alt");
    int attempts = 0;
    std::string first;
    fs.fail_suffix(Fs_Operation::copy_file, ".part", EEXIST, 1);
    fs.before([&](Fs_Operation operation, const std::string&) {
        if (operation == Fs_Operation::copy_file) ++attempts;
    });
    objects.GetFile(tmp / "src.txt").Copy(tmp / "dst.txt", true);
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(read_file(tmp / "dst.txt"), "s");
    EXPECT_EQ(fs.calls(Fs_Operation::remove_file), 0);
}

}  // namespace
}  // namespace zentrel::platform
