// The walk on its own: failures inside a folder, the cancel test points, and
// a large copy that leaves the window working.
#include "job_fixture.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace zentrel::testing {
namespace {

class Folder_Walk : public Job_Test {
protected:
    void walk() {
        bool ignore_all = false;
        job.Process_Folder(folder(src), ignore_all, state.Cancel_Requested);
    }
    // Sets Cancel_Requested at the n-th event turn from now.
    void cancel_at_event(long n) {
        const long target = host.events_processed + n;
        host.on_events = [this, target] {
            if (host.events_processed == target) state.Cancel_Requested = true;
        };
    }
};

TEST_F(Folder_Walk, AFailingFileTestEndsItsFolderAndTheWalkGoesOnWithTheNextSubfolder) {
    // With both classes the listing reads no attributes; the archive bit
    // has the file test read them.
    options.Copy_HiddenFiles = true;
    options.Copy_SysFiles = true;
    options.Only_Archive = true;
    write_file(src + "/oben.txt", "o");
    for (const char* name : {"1.txt", "2.txt", "3.txt", "4.txt"}) write_file(src + "/A/" + std::string(name), name);
    write_file(src + "/A/Unter/u.txt", "u");
    write_file(src + "/B/b.txt", "b");
    fs.fail(Fs_Operation::get_attribute, src + "/A/3.txt", EIO);

    host.answer(support::Answer_OK);
    walk();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, "Fehler bei der Verarbeitung von Verzeichnis:\r\n" + src +
                                        "/A\r\nInput/output error: " + src + "/A/3.txt\r\nZeile: 6");
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_OK);
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{"A/1.txt", "A/2.txt", "B/b.txt", "oben.txt"}));
    EXPECT_EQ(display.status, "");  // the top folder ended normally
    // What was left out is in the error list, so the run cannot end as a success.
    EXPECT_EQ(display.errors, std::vector<std::string>{src + "/A/"});
    EXPECT_EQ(display.troubles, std::vector{engine::Copy_Trouble::Folder_Failed});
    EXPECT_EQ(state.Error_Files, 1);
}

TEST_F(Folder_Walk, AFolderThatCannotBeListedIsReportedAndSkipped) {
    write_file(src + "/A/a.txt", "a");
    write_file(src + "/B/b.txt", "b");
    fs.fail(Fs_Operation::read_folder, src + "/A/", EACCES);
    fs.fail(Fs_Operation::read_folder, src + "/A", EACCES);
    host.answer(support::Answer_OK).answer(support::Answer_OK);
    walk();
    // The listing reports first and yields nothing; then the walk cannot
    // step into the folder's subfolders either.
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[0].prompt,
              "Fehler bei der Verarbeitung von Verzeichnis:\r\n" + src + "/A/\r\nPermission denied: " + src + "/A/");
    EXPECT_EQ(host.boxes[1].prompt, "Fehler bei der Verarbeitung von Verzeichnis:\r\n" + src +
                                        "/A\r\nPermission denied: " + src + "/A\r\nZeile: 16");
    EXPECT_EQ(files_below(dst), std::vector<std::string>{"B/b.txt"});
    EXPECT_EQ(display.errors, std::vector<std::string>{src + "/A/"});
    EXPECT_EQ(display.troubles, std::vector{engine::Copy_Trouble::Folder_Unreadable});
}

TEST_F(Folder_Walk, AVanishedFileIsPassedOverWithoutAnyDisplay) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    write_file(src + "/c.txt", "c");
    // c goes between the reading of the folder and the look at its
    // attributes (a mail program's lock file): the folder's other files are
    // still listed.
    fs.before([&](Fs_Operation op, const std::string& path) {
        if (op == Fs_Operation::get_attributes_in && path == src + "/c.txt") std::filesystem::remove(path);
    });
    // b goes while a is shown.
    host.on_events = [&] { std::filesystem::remove(src + "/b.txt"); };
    walk();
    EXPECT_EQ(files_below(dst), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(statuses_starting("kopiere " + src + "/b").empty());
    EXPECT_EQ(display.counts[engine::File_Counter::Processed_Files], std::vector<std::int32_t>{1});
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(display.Error_Count(), 0);
}

// Three event turns per copied file: before its test, before its copy and
// after it. The copy of a file is never cut short.
TEST_F(Folder_Walk, CancelDuringCopiedFilesStopsAfterTheCurrentFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) write_file(src + "/" + std::string(name), name);
    for (long n = 1; n <= 9; ++n) {
        std::filesystem::remove_all(dst);
        state = {};
        cancel_at_event(n);
        walk();
        const std::size_t expected = static_cast<std::size_t>((n + 2) / 3);
        EXPECT_EQ(files_below(dst).size(), expected) << "cancel at event " << n;
        EXPECT_EQ(state.Processed_Files, static_cast<int>(expected));
        EXPECT_EQ(display.status, "kopiere " + src + "/" + std::string(1, char('a' + expected - 1)) + ".txt");
    }
}

TEST_F(Folder_Walk, CancelAfterASkippedFileStopsBeforeItsCountIsShown) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    walk();  // everything up to date now
    const std::size_t shown = display.counts[engine::File_Counter::Processed_Files].size();
    state = {};
    cancel_at_event(2);  // the turn after "überspringe a.txt"
    walk();
    EXPECT_EQ(display.status, "überspringe " + src + "/a.txt");
    EXPECT_EQ(display.counts[engine::File_Counter::Processed_Files].size(), shown);
    EXPECT_EQ(statuses_starting("kopiere " + src + "/b.txt").size(), 2u);  // only from the first walk
}

TEST_F(Folder_Walk, CancelInASubfolderLeavesTheLaterSubfoldersOut) {
    write_file(src + "/A/a.txt", "a");
    write_file(src + "/B/b.txt", "b");
    cancel_at_event(3);  // after A's only file
    walk();
    EXPECT_EQ(files_below(dst), std::vector<std::string>{"A/a.txt"});
}

TEST_F(Folder_Walk, AbortAnswerStopsTheWalkLikeCancel) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    host.answer(support::Answer_Abort);
    walk();
    EXPECT_TRUE(state.Cancel_Requested);
    EXPECT_FALSE(exists(dst + "/b.txt"));
    EXPECT_EQ(state.Error_Files, 1);
}

TEST_F(Folder_Walk, ALargeFileIsCopiedWhileTheWindowKeepsHandlingEvents) {
    const std::string big = std::string(64 << 20, 'x');
    write_file(src + "/gross.bin", big);
    std::atomic<bool> event_seen{false};
    bool cancel_seen_during_copy = false;
    host.on_events = [&] {
        event_seen = true;
        state.Cancel_Requested = true;  // a click on cancel while the copy runs
    };
    fs.before([&](Fs_Operation op, const std::string&) {
        if (op != Fs_Operation::copy_file) return;
        event_seen = false;
        // The copy may only go on once the window has handled an event.
        for (int i = 0; i < 30'000 && !event_seen; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        cancel_seen_during_copy = event_seen;
    });
    walk();
    EXPECT_TRUE(cancel_seen_during_copy);
    EXPECT_EQ(std::filesystem::file_size(dst + "/gross.bin"), big.size());
    EXPECT_TRUE(read_file(dst + "/gross.bin") == big);
    EXPECT_EQ(state.Processed_Files, 1);
}

TEST_F(Folder_Walk, CountsShownAfterEveryFileAndTheErrorCounterAppearsWithTheFirstError) {
    write_file(src + "/a.txt", std::string(600'000, 'a'));
    write_file(src + "/b.txt", std::string(600'000, 'b'));
    fs.fail(Fs_Operation::copy_file, src + "/b.txt", EIO);
    host.answer(support::Answer_Ignore).answer(support::Answer_No);
    state.Source_Bytes = 1'200'000;
    walk();
    // "Dateien kopiert" and the bar count what reached the target.
    EXPECT_EQ(display.counts[engine::File_Counter::Processed_Files], (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(display.bytes[engine::Byte_Count_Kind::Copied], (std::vector<double>{600'000, 600'000}));
    EXPECT_EQ(display.progress, 0.5);
    EXPECT_EQ(display.count(engine::File_Counter::Error_Files), 1);
    EXPECT_TRUE(display.error_counter_shown);
    EXPECT_EQ(display.arrangements, 2);
    EXPECT_EQ(display.repaints, 2);
}

TEST_F(Folder_Walk, ACounterOverflowIsAFolderFailure) {
    write_file(src + "/a.txt", "a");
    state.Processed_Files = 2'147'483'647;
    host.answer(support::Answer_OK);
    walk();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].prompt.ends_with("\r\nZeile: 11"));
    EXPECT_EQ(state.Processed_Files, 2'147'483'647);
}

TEST_F(Folder_Walk, TheTopFolderIsWalkedEvenWhenHidden) {
    const std::string hidden = tmp / ".versteckt";
    write_file(hidden + "/a.txt", "a");
    options.Sourcefolder = hidden;
    bool ignore_all = false;
    job.Process_Folder(folder(hidden), ignore_all, state.Cancel_Requested);
    EXPECT_TRUE(exists(dst + "/a.txt"));
}

}  // namespace
}  // namespace zentrel::testing
