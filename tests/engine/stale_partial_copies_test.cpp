// A killed run leaves its copy in progress behind, hidden; the next run that
// copies into that folder clears it away, and touches nothing else.
#include "job_fixture.h"

namespace zentrel::testing {
namespace {

class Stale_Partial_Copies : public Job_Test {};

TEST_F(Stale_Partial_Copies, ARunClearsThemOnlyFromFoldersItCopiesInto) {
    write_file(src + "/neu/a.txt", "a");
    write_file(src + "/gleich/b.txt", "b");
    set_mtime(src + "/gleich/b.txt", 1'600'000'000);
    write_file(dst + "/gleich/b.txt", "b");
    set_mtime(dst + "/gleich/b.txt", 1'600'000'000);
    write_file(dst + "/neu/.zentrel-Ab12cD.part", "half of a");
    write_file(dst + "/neu/.zentrel-ab cd.part", "the user's own");
    write_file(dst + "/gleich/.zentrel-xyzxyz.part", "nothing is copied here");

    EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(state.Processed_Files, 1);
    EXPECT_FALSE(exists(dst + "/neu/.zentrel-Ab12cD.part"));
    EXPECT_TRUE(exists(dst + "/neu/.zentrel-ab cd.part"));
    EXPECT_TRUE(exists(dst + "/gleich/.zentrel-xyzxyz.part"));
    EXPECT_EQ(read_file(dst + "/neu/a.txt"), "a");

    // The next run clears again a folder an earlier run had cleared.
    write_file(dst + "/neu/.zentrel-second.part", "left by another killed run");
    write_file(src + "/neu/c.txt", "c");
    start();
    EXPECT_FALSE(exists(dst + "/neu/.zentrel-second.part"));
}

TEST_F(Stale_Partial_Copies, AFolderThatCannotBeReadStillGetsItsFiles) {
    write_file(src + "/a.txt", "a");
    make_folders(dst);
    write_file(dst + "/.zentrel-Ab12cD.part", "half");
    fs.fail(Fs_Operation::read_folder, dst, EIO);

    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(dst + "/a.txt"), "a");
    EXPECT_TRUE(exists(dst + "/.zentrel-Ab12cD.part"));
}

}  // namespace
}  // namespace zentrel::testing
