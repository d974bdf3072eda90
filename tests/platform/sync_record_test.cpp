#include "platform/sync_record.h"

#include "platform/content_compare.h"

#include "common/temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace zentrel::platform {
namespace {

using testing::exists;
using testing::write_file;

const Folder_Identity Laptop{5, 100, {}, {}};
const Folder_Identity Stick{9, 7, {}, {}};
const Folder_Identity Elsewhere{5, 101, {}, {}};

const Synced_File Report{{10, {1000, 5}}, {10, {1000, 0}}};

TEST(Sync_Record, KeptPerPairWhicheverWayRoundAndForgottenOnRequest) {
    testing::Temp_Folder tmp;
    const std::string file = tmp / "state/zentrel/sync-record.sqlite";
    {
        auto opened = open_sync_record(file, Laptop, Stick, "/home/a/Bericht", "/media/stick");
        ASSERT_TRUE(opened.record) << opened.problem;
        EXPECT_TRUE(opened.problem.empty());
        EXPECT_FALSE(opened.record->complete());
        opened.record->put("a/Bericht.txt", Report);
        opened.record->put(std::string("b\xff\0c", 4), Report);  // names are bytes
        opened.record->put("gone.txt", Report);
        opened.record->forget("gone.txt");
        opened.record->mark_complete();
    }
    {
        // Source and target swapped: each side's values stay with their folder.
        auto opened = open_sync_record(file, Stick, Laptop, "/media/stick", "/home/a/Bericht");
        ASSERT_TRUE(opened.record) << opened.problem;
        EXPECT_TRUE(opened.record->complete());
        const auto found = opened.record->find("a/Bericht.txt");
        ASSERT_TRUE(found);
        EXPECT_EQ(found->source, Report.target);
        EXPECT_EQ(found->target, Report.source);
        EXPECT_TRUE(opened.record->find(std::string("b\xff\0c", 4)));
        EXPECT_FALSE(opened.record->find("b"));
        EXPECT_FALSE(opened.record->find("gone.txt"));
    }
    // A folder with another inode (moved away, another made in its place)
    // is another pair; a look that only reads makes no pair.
    auto other = open_sync_record(file, Elsewhere, Stick, "/home/a/Bericht", "/media/stick", true);
    EXPECT_FALSE(other.record);
    EXPECT_TRUE(other.problem.empty());

    // Both folders elsewhere under the same identities: new folders that
    // were given the inodes of deleted ones, never the old pair's record.
    {
        auto moved = open_sync_record(file, Laptop, Stick, "/home/a/Bericht", "/media/anderer");
        ASSERT_TRUE(moved.record);
        EXPECT_TRUE(moved.record->find("a/Bericht.txt"));
    }
    {
        auto reused = open_sync_record(file, Laptop, Stick, "/tmp/x", "/tmp/y", true);
        EXPECT_FALSE(reused.record);
    }

    // A stick known by its file system's identity and the folder's place on
    // it: found again after a plug-in, whatever its device and mount point;
    // a folder at another place on it is another folder.
    const Folder_Identity on_stick{0, 0, "5324-F0BC", "/Bericht"};
    open_sync_record(file, Laptop, on_stick, "/home/a/Bericht", "/Bericht").record->put("x", Report);
    EXPECT_EQ(open_sync_record(file, Laptop, on_stick, "/home/a/Bericht", "/Bericht", true).record->find("x"), Report);
    Folder_Identity moved_on_stick = on_stick;
    moved_on_stick.place = "/Alt/Bericht";
    EXPECT_FALSE(open_sync_record(file, Laptop, moved_on_stick, "/home/a/Bericht", "/Alt/Bericht", true).record);

    EXPECT_TRUE(forget_sync_record(file, Stick, Laptop));
    EXPECT_FALSE(forget_sync_record(file, Laptop, Stick));
    auto forgotten = open_sync_record(file, Laptop, Stick, "/home/a/Bericht", "/media/stick");
    ASSERT_TRUE(forgotten.record);
    EXPECT_FALSE(forgotten.record->complete());
    EXPECT_FALSE(forgotten.record->find("a/Bericht.txt"));
}

TEST(Sync_Record, ADamagedFileIsKeptAsideAndBegunAnewOneThatCannotBeOpenedIsSaid) {
    testing::Temp_Folder tmp;
    const std::string file = tmp / "sync-record.sqlite";
    write_file(file, std::string(4096, 'x'));
    auto opened = open_sync_record(file, Laptop, Stick, "/a", "/b");
    ASSERT_TRUE(opened.record) << opened.problem;
    EXPECT_NE(opened.problem.find("beschädigt"), std::string::npos) << opened.problem;
    EXPECT_EQ(testing::read_file(file + ".damaged"), std::string(4096, 'x'));
    opened.record->put("x", Report);
    EXPECT_EQ(opened.record->find("x"), Report);

    // A file of the first version, whose pairs were kept by device and
    // inode: a look finds no pair and says nothing; a run begins anew.
    const std::string first_version = tmp / "first-version.sqlite";
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(first_version.c_str(), &old), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(old,
                           "CREATE TABLE pairs (id INTEGER PRIMARY KEY, first_device INTEGER, first_inode INTEGER, "
                           "second_device INTEGER, second_inode INTEGER, complete INTEGER);"
                           "CREATE TABLE files (pair INTEGER, path BLOB);"
                           "INSERT INTO pairs VALUES (1, 5, 100, 9, 7, 1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(old);
    auto looked = open_sync_record(first_version, Laptop, Stick, "/a", "/b", true);
    EXPECT_FALSE(looked.record);
    EXPECT_EQ(looked.problem, "");
    auto begun = open_sync_record(first_version, Laptop, Stick, "/a", "/b");
    ASSERT_TRUE(begun.record) << begun.problem;
    EXPECT_EQ(begun.problem, "");
    EXPECT_FALSE(begun.record->complete());

    // A folder where the file belongs: no record, and why; nothing moved.
    const std::string blocked = tmp / "blocked.sqlite";
    testing::make_folders(blocked);
    auto refused = open_sync_record(blocked, Laptop, Stick, "/a", "/b");
    EXPECT_FALSE(refused.record);
    EXPECT_NE(refused.problem.find(blocked), std::string::npos);
    EXPECT_FALSE(exists(blocked + ".damaged"));
}

// Another program (or run) in the middle of writing the database: a run
// opening it waits for the write to end, and both changes are there whole.
TEST(Sync_Record, ASecondWriterWaitsAndNothingIsDamaged) {
    testing::Temp_Folder tmp;
    const std::string file = tmp / "sync-record.sqlite";
    open_sync_record(file, Laptop, Stick, "/a", "/b").record->put("vorher", Report);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; DELETE FROM pair_files WHERE path = CAST('vorher' AS BLOB);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    const auto begin = std::chrono::steady_clock::now();
    auto opened = open_sync_record(file, Laptop, Elsewhere, "/a", "/c");
    ASSERT_TRUE(opened.record) << opened.problem;
    opened.record->put("neu", Report);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(300));
    writer.join();
    sqlite3_close(other);

    EXPECT_FALSE(open_sync_record(file, Laptop, Stick, "/a", "/b").record->find("vorher"));
    EXPECT_EQ(open_sync_record(file, Laptop, Elsewhere, "/a", "/c").record->find("neu"), Report);
}

// Same time and size on both sides: only bytes read to their ends on both
// may call for two versions. A read that fails midway (here a folder, which
// opens but cannot be read; on a share an I/O error) tells nothing.
TEST(Sync_Record, OnlyContentsReadToTheirEndsDiffer) {
    testing::Temp_Folder tmp;
    const std::string big(200'000, 'x');
    std::string other = big;
    other[150'000] = 'y';
    testing::write_file(tmp / "a", big);
    testing::write_file(tmp / "b", big);
    testing::write_file(tmp / "c", other);
    testing::make_folders(tmp / "ordner");
    EXPECT_FALSE(contents_differ(tmp / "a", tmp / "b"));
    EXPECT_TRUE(contents_differ(tmp / "a", tmp / "c"));
    EXPECT_FALSE(contents_differ(tmp / "ordner", tmp / "a"));
    EXPECT_FALSE(contents_differ(tmp / "a", tmp / "fehlt"));
}

}  // namespace
}  // namespace zentrel::platform
