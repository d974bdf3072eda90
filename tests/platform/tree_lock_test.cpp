// Two runs never write into one folder tree at once.
#include "platform/tree_lock.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include "common/temp_folder.h"

namespace zentrel::platform {
namespace {

using testing::make_folders;
using testing::Temp_Folder;

TEST(Tree_Lock, OverlappingTreesAreRefusedSeparateOnesNot) {
    Temp_Folder tmp;
    make_folders(tmp / "ziel/unter");
    make_folders(tmp / "anderes");
    ASSERT_EQ(::symlink("ziel", (tmp / "verweis").c_str()), 0);

    Tree_Lock first(real_file_system());
    ASSERT_TRUE(first.acquire(tmp / "ziel"));
    for (const std::string& overlapping : {tmp / "ziel", tmp / "ziel/unter", tmp.path(), tmp / "verweis"}) {
        Tree_Lock second(real_file_system());
        EXPECT_FALSE(second.acquire(overlapping)) << overlapping;
    }
    Tree_Lock separate(real_file_system());
    EXPECT_TRUE(separate.acquire(tmp / "anderes"));

    // A bind mount is the same folder under another name.
    make_folders(tmp / "bind");
    if (::mount((tmp / "ziel").c_str(), (tmp / "bind").c_str(), nullptr, MS_BIND, nullptr) == 0) {
        Tree_Lock second(real_file_system());
        EXPECT_FALSE(second.acquire(tmp / "bind"));
        ::umount((tmp / "bind").c_str());
    }

    // Released, the tree is free again.
    first.release();
    Tree_Lock again(real_file_system());
    EXPECT_TRUE(again.acquire(tmp / "ziel/unter"));
    again.release();

    // Taken through a link from elsewhere, a tree is locked where it lies,
    // with the folders that hold it.
    make_folders(tmp / "links");
    ASSERT_EQ(::symlink("../ziel/unter", (tmp / "links/unten").c_str()), 0);
    Tree_Lock through_link(real_file_system());
    ASSERT_TRUE(through_link.acquire(tmp / "links/unten"));
    Tree_Lock holding(real_file_system());
    EXPECT_FALSE(holding.acquire(tmp / "ziel"));
}

}  // namespace
}  // namespace zentrel::platform
