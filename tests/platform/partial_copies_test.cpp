// Copies in progress left behind by a killed run: which ones a later run may
// remove, and that nothing else ever goes with them.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "common/temp_folder.h"
#include "platform/file_objects.h"

namespace zentrel::platform {
namespace {

using testing::exists;
using testing::Temp_Folder;
using testing::write_file;

TEST(Partial_Copies, OnlyOurExactPatternCountsAsACopyInProgress) {
    EXPECT_TRUE(is_partial_copy_name(".zentrel-aZ09xy.part"));
    EXPECT_FALSE(is_partial_copy_name(".zentrel-ab cd.part"));  // a blank is no letter we draw
    EXPECT_FALSE(is_partial_copy_name(".zentrel-ab/cd.part"));
    EXPECT_FALSE(is_partial_copy_name(".zentrel-abcdefg.part"));  // seven letters
    EXPECT_FALSE(is_partial_copy_name(".zentrel-abcde.part"));
    EXPECT_FALSE(is_partial_copy_name("zentrel-abcdef.part"));
    EXPECT_FALSE(is_partial_copy_name(".zentrel-abcdef.part2"));
    EXPECT_FALSE(
        is_partial_copy_name(".zentrel-\xc3\xa4"
                             "bcde.part"));
}

TEST(Partial_Copies, StaleOnesGoWhileOneBeingWrittenAndEverythingElseStays) {
    Temp_Folder tmp;
    File_System& fs = real_file_system();
    write_file(tmp / ".zentrel-abcdef.part", "half a file");  // its writer was killed
    ASSERT_EQ(::symlink("irgendwohin", (tmp / ".zentrel-LINK01.part").c_str()), 0);
    write_file(tmp / ".zentrel-ab cd.part", "a user's file");
    write_file(tmp / "daten.part", "a user's file");
    write_file(tmp / "$$$Temp1$$$", "a parked old version");
    testing::make_folders(tmp / ".zentrel-folder.part");  // never a folder
    testing::make_folders(tmp / "unter");
    write_file(tmp / "unter/.zentrel-zzzzzz.part", "another folder's");

    // A copy that is still running holds its lock.
    write_file(tmp / ".zentrel-runnin.part", "being written");
    const int writer = ::open((tmp / ".zentrel-runnin.part").c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);

    EXPECT_EQ(remove_stale_partial_copies(fs, tmp.path()), 2);
    EXPECT_FALSE(exists(tmp / ".zentrel-abcdef.part"));
    EXPECT_FALSE(exists(tmp / ".zentrel-LINK01.part"));
    EXPECT_TRUE(exists(tmp / ".zentrel-runnin.part"));
    EXPECT_TRUE(exists(tmp / ".zentrel-ab cd.part"));
    EXPECT_TRUE(exists(tmp / "daten.part"));
    EXPECT_TRUE(exists(tmp / "$$$Temp1$$$"));
    EXPECT_TRUE(exists(tmp / ".zentrel-folder.part"));
    EXPECT_TRUE(exists(tmp / "unter/.zentrel-zzzzzz.part"));

    ::close(writer);  // the writer died: now it is stale
    EXPECT_EQ(remove_stale_partial_copies(fs, tmp.path()), 1);
    EXPECT_FALSE(exists(tmp / ".zentrel-runnin.part"));
    EXPECT_EQ(remove_stale_partial_copies(fs, tmp / "fehlt"), 0);  // a missing folder is no failure
}

TEST(Partial_Copies, ACopyBeingWrittenIsNeverTakenForAStaleOne) {
    // copy_contents holds the lock while the data goes in: a removal that
    // runs meanwhile must leave the file alone. The file is large enough
    // that the removal is tried many times during the copy.
    Temp_Folder tmp;
    File_System& fs = real_file_system();
    write_file(tmp / "quelle", std::string(std::size_t{96} << 20, 'q'));
    const std::string part = tmp / ".zentrel-qwerty.part";
    std::atomic<bool> done{false};
    std::thread writer([&] {
        fs.copy_contents(tmp / "quelle", part, 0644);
        done = true;
    });
    int tries_during_copy = 0;
    bool removed_while_writing = false;
    while (!done) {
        if (!exists(part)) continue;
        const int removed = remove_stale_partial_copies(fs, tmp.path());
        if (done) break;
        ++tries_during_copy;
        if (removed) removed_while_writing = true;
    }
    writer.join();
    EXPECT_FALSE(removed_while_writing);
    std::printf("%d removals tried during the copy\n", tries_during_copy);
    // Finished and closed, nobody holds it: stale now (unless the last try
    // above already took it, once the copy was done).
    remove_stale_partial_copies(fs, tmp.path());
    EXPECT_FALSE(exists(part));
}

}  // namespace
}  // namespace zentrel::platform
