// The evaluation counts what the walk would copy, resets the run and stops
// at its cancel test points.
#include "job_fixture.h"

#include <algorithm>

namespace zentrel::testing {
namespace {

class Source_Evaluation : public Job_Test {
protected:
    void build() {
        write_file(src + "/a.txt", std::string(1'000'000, 'a'));
        write_file(src + "/b.txt", std::string(500'000, 'b'));
        write_file(src + "/c.bak", "c");
        write_file(src + "/Sub/d.txt", "d");
        write_file(src + "/.Versteckt/e.txt", "e");
    }
};

TEST_F(Source_Evaluation, CountsWhatTheWalkCopiesAndResetsTheRun) {
    build();
    write_file(dst + "/b.txt", std::string(500'000, 'b'));
    set_mtime(src + "/b.txt", 7'000'000);
    set_mtime(dst + "/b.txt", 7'000'000);  // up to date: listed but not selected
    options.Exclude_Filter = "*.bak";
    state.Processed_Files = 9;
    state.Error_Files = 4;
    state.Cancel_Requested = true;
    display.error_counter_shown = true;
    display.progress = 0.5;

    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Source_Files, 2);
    EXPECT_EQ(state.Source_Bytes, 1'000'001);
    EXPECT_EQ(state.Total_Files, 3);
    EXPECT_EQ(state.Processed_Files, 0);
    EXPECT_EQ(state.Error_Files, 0);
    EXPECT_FALSE(state.Cancel_Requested);
    EXPECT_EQ(display.count(engine::File_Counter::Source_Files), 2);
    EXPECT_EQ(display.bytes[engine::Byte_Count_Kind::To_Copy].back(), 1'000'001);
    EXPECT_EQ(display.count(engine::File_Counter::Total_Files), 3);
    EXPECT_EQ(display.status, "");
    EXPECT_FALSE(display.error_counter_shown);
    EXPECT_FALSE(display.cancel_shown);
    EXPECT_FALSE(display.progress);
    EXPECT_EQ(host.pointer, support::Pointer_Shape::Default);
    EXPECT_EQ(host.pointer_changes.front(), support::Pointer_Shape::Hourglass);

    // The walk copies exactly what was counted.
    bool ignore_all = false;
    job.Process_Folder(folder(src), ignore_all, state.Cancel_Requested);
    EXPECT_EQ(state.Processed_Files, state.Source_Files);
    EXPECT_EQ(state.Processed_Bytes, state.Source_Bytes);

    // Evaluating again starts from 0 and finds nothing left to copy.
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Source_Files, 0);
    EXPECT_EQ(state.Total_Files, 3);
    EXPECT_EQ(display.bytes[engine::Byte_Count_Kind::To_Copy].back(), 0);
}

TEST_F(Source_Evaluation, OptionsChangeTheCountLikeTheWalk) {
    build();
    options.Include_Subfolders = false;
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 3);

    options.Include_Subfolders = true;
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 4);

    options.Copy_HiddenFiles = true;
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 5);
    EXPECT_EQ(state.Source_Files, 5);
}

TEST_F(Source_Evaluation, AMissingFolderLeavesTheCountsAlone) {
    build();
    job.Evaluate_Source_Click();
    for (const std::string& missing : {std::string(), tmp / "fehlt"}) {
        state.Reverse_Direction = true;
        options.Targetfolder = missing;
        host.answer(support::Answer_OK);
        job.Evaluate_Source_Click();
        EXPECT_EQ(host.boxes.back().prompt, "Quellverzeichnis existiert nicht...");
        EXPECT_EQ(host.boxes.back().buttons, support::Buttons_OK);
        EXPECT_EQ(state.Total_Files, 4);
        EXPECT_FALSE(display.cancel_shown);
    }
}

// The walk always enters the top folder the user chose (~/.thunderbird,
// say), so the evaluation counts it too; the options apply below it.
TEST_F(Source_Evaluation, AHiddenTopFolderCountsAsTheWalkCopiesIt) {
    const std::string hidden = tmp / ".oben";
    write_file(hidden + "/a.txt", "a");
    write_file(hidden + "/.unten/b.txt", "b");
    options.Sourcefolder = hidden;
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 1);
    EXPECT_EQ(display.count(engine::File_Counter::Total_Files), 1);
}

// One event turn when the pointer turns busy, then one per file before its
// cancel test.
TEST_F(Source_Evaluation, CancelStopsCountingAtTheFileShown) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) write_file(src + "/" + std::string(name), "x");
    for (long n = 1; n <= 4; ++n) {
        const long target = host.events_processed + n;
        host.on_events = [this, target] {
            if (host.events_processed == target) state.Cancel_Requested = true;
        };
        job.Evaluate_Source_Click();
        const int counted = static_cast<int>(std::max(0L, n - 2));
        EXPECT_EQ(state.Source_Files, counted) << "cancel at event " << n;
        EXPECT_EQ(state.Total_Files, counted);
        EXPECT_TRUE(state.Cancel_Requested);
        EXPECT_EQ(display.status, src + "/" + std::string(1, char('a' + counted)) + ".txt");
        EXPECT_FALSE(display.cancel_shown);
    }
}

TEST_F(Source_Evaluation, CancelInASubfolderSkipsTheRest) {
    write_file(src + "/A/a.txt", "a");
    write_file(src + "/B/b.txt", "b");
    // Turn 1 is the busy pointer, turn 2 shows A's file.
    host.on_events = [this] {
        if (host.events_processed == 2) state.Cancel_Requested = true;
    };
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 0);
    EXPECT_EQ(display.status, src + "/A/a.txt");
}

TEST_F(Source_Evaluation, AFileWhoseTestFailsIsLeftOutSilently) {
    // With both classes the listing reads no attributes; the archive bit
    // has the file test read them.
    options.Copy_HiddenFiles = true;
    options.Copy_SysFiles = true;
    options.Only_Archive = true;
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    fs.fail(Fs_Operation::get_attribute, src + "/a.txt", EIO);
    job.Evaluate_Source_Click();
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(state.Source_Files, 1);
    EXPECT_EQ(state.Total_Files, 1);
}

}  // namespace
}  // namespace zentrel::testing
