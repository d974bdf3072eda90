// The evaluation counts what the walk would copy, resets the run and stops
// at its cancel test points.
#include "job_fixture.h"

#include <algorithm>

namespace zentrel::testing {
namespace {

using support::Control;

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
    form.Set_Text(Control::Exclude_Filter, "*.bak");
    state.Processed_Files = 9;
    state.Error_Files = 4;
    state.Cancel_Requested = true;
    form.Set_Visible(Control::Num_Error_Files, true);
    form.Set_Visible(Control::Progress, true);

    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Source_Files, 2);
    EXPECT_EQ(state.Source_Bytes, 1'000'001);
    EXPECT_EQ(state.Total_Files, 3);
    EXPECT_EQ(state.Processed_Files, 0);
    EXPECT_EQ(state.Error_Files, 0);
    EXPECT_FALSE(state.Cancel_Requested);
    EXPECT_EQ(text(Control::Num_Sourcefiles), "2");
    EXPECT_EQ(text(Control::Num_Sourcebytes), "1,000");
    EXPECT_EQ(text(Control::TNum_SourceBytes), "MBytes zu kopieren");
    EXPECT_EQ(text(Control::Num_Tot_Files), "3");
    EXPECT_EQ(text(Control::Status), "");
    for (Control hidden : {Control::Num_Error_Files, Control::TNum_Error_Files, Control::Cancel_Execution,
                           Control::Progress, Control::Progress_Frame})
        EXPECT_FALSE(form.Visible(hidden)) << support::control_name(hidden);
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
    EXPECT_EQ(text(Control::TNum_SourceBytes), "MBytes zu kopieren");  // unit kept
}

TEST_F(Source_Evaluation, OptionsChangeTheCountLikeTheWalk) {
    build();
    set(Control::Include_Subfolders, 0);
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 3);

    set(Control::Include_Subfolders);
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 4);

    set(Control::Copy_HiddenFiles);
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 5);
    EXPECT_EQ(state.Source_Files, 5);
}

TEST_F(Source_Evaluation, AMissingFolderLeavesTheCountsAlone) {
    build();
    job.Evaluate_Source_Click();
    for (const std::string& missing : {std::string(), tmp / "fehlt"}) {
        state.Reverse_Direction = true;
        form.Set_Text(Control::Targetfolder, missing);
        host.answer(support::Answer_OK);
        job.Evaluate_Source_Click();
        EXPECT_EQ(host.boxes.back().prompt, "Quellverzeichnis existiert nicht...");
        EXPECT_EQ(host.boxes.back().buttons, support::Buttons_OK);
        EXPECT_EQ(state.Total_Files, 4);
        EXPECT_FALSE(form.Visible(Control::Cancel_Execution));
    }
}

// The walk always enters the top folder the user chose (~/.thunderbird,
// say), so the evaluation counts it too; the options apply below it.
TEST_F(Source_Evaluation, AHiddenTopFolderCountsAsTheWalkCopiesIt) {
    const std::string hidden = tmp / ".oben";
    write_file(hidden + "/a.txt", "a");
    write_file(hidden + "/.unten/b.txt", "b");
    form.Set_Text(Control::Sourcefolder, hidden);
    job.Evaluate_Source_Click();
    EXPECT_EQ(state.Total_Files, 1);
    EXPECT_EQ(text(Control::Num_Tot_Files), "1");
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
        EXPECT_EQ(text(Control::Status), src + "/" + std::string(1, char('a' + counted)) + ".txt");
        EXPECT_FALSE(form.Visible(Control::Cancel_Execution));
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
    EXPECT_EQ(text(Control::Status), src + "/A/a.txt");
}

TEST_F(Source_Evaluation, AFileWhoseTestFailsIsLeftOutSilently) {
    set(Control::Copy_HiddenFiles);
    set(Control::Copy_SysFiles);
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
