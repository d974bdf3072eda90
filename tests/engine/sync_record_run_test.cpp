// Synchronisations with the record of the last one: edits on one side or
// both, deletions with and without --sync-deletions, a killed run, and a
// record that cannot be used.
#include "job_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

namespace zentrel::testing {
namespace {

using Tree = std::map<std::string, std::string>;  // name (conflict dates left out) -> content

// Every file below root with its content; "(Konflikt 2026-12-08 14-03, x)"
// read as "(Konflikt, x)", since the date is the version's local time.
Tree tree_of(const std::string& root) {
    Tree tree;
    static const std::regex date(R"(\(Konflikt [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}-[0-9]{2}, )");
    if (!std::filesystem::exists(root)) return tree;
    for (const std::string& name : files_below(root))
        tree[std::regex_replace(name, date, "(Konflikt, ")] = read_file(root + "/" + name);
    return tree;
}

class Sync_Run : public Job_Test {
protected:
    Sync_Run() {
        make_folders(dst);
        synchronize(true);
        // The trash a deletion goes to, on the test folder's file system.
        const char* data = std::getenv("XDG_DATA_HOME");
        if (data) kept_data_home_ = data;
        ::setenv("XDG_DATA_HOME", (tmp / "data").c_str(), 1);
    }
    ~Sync_Run() override {
        if (kept_data_home_)
            ::setenv("XDG_DATA_HOME", kept_data_home_->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }

    // Both sides hold name alike, as a first synchronisation leaves them.
    void in_step(const std::string& name, const std::string& content, long long seconds) {
        for (const std::string& root : {src, dst}) {
            write_file(root + "/" + name, content);
            set_mtime(root + "/" + name, seconds);
        }
    }
    void edit(const std::string& path, const std::string& content, long long seconds) {
        write_file(path, content);
        set_mtime(path, seconds);
    }
    Tree trash() const { return tree_of(tmp / "data/Trash/files"); }
    // Runs the job in a child killed with SIGKILL before the first
    // file-system call kill_now says yes to.
    void killed_run(const std::function<bool(Fs_Operation, const std::string&)>& kill_now) {
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            fs.before([&](Fs_Operation operation, const std::string& path) {
                if (kill_now(operation, path)) ::kill(::getpid(), SIGKILL);
            });
            job.Start_Click();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
    }

    std::optional<std::string> kept_data_home_;
};

struct Edit_Case {
    const char* name;
    bool sync_deletions;
    // Changes made on the two sides after the first synchronisation.
    std::function<void(Sync_Run&, const std::string& src, const std::string& dst)> edit;
    Tree both;   // what each side holds afterwards
    Tree trash;  // what the trash holds
    int conflicts;
    const char* trashed_from = "";  // where the trashed file was, below the test folder
};

void PrintTo(const Edit_Case& edit_case, std::ostream* out) { *out << edit_case.name; }

class Sync_Edits : public Sync_Run, public ::testing::WithParamInterface<Edit_Case> {
public:
    void edit(const std::string& path, const std::string& content, long long seconds) {
        Sync_Run::edit(path, content, seconds);
    }
};

const Edit_Case Edit_Cases[] = {
    {"EditedOnBothSides",
     false,
     [](Sync_Run& t, auto& src, auto& dst) {
         static_cast<Sync_Edits&>(t).edit(src + "/Bericht.txt", "Laptop", 2'000'000);
         static_cast<Sync_Edits&>(t).edit(dst + "/Bericht.txt", "Stick", 3'000'000);
     },
     {{"Bericht.txt", "Stick"}, {"Bericht (Konflikt, quelle).txt", "Laptop"}, {"Notiz.txt", "n"}},
     {},
     1},
    // A coarse-time stick: both edits within one tick, told by size.
    {"SameTimeOtherSize",
     false,
     [](Sync_Run& t, auto& src, auto& dst) {
         static_cast<Sync_Edits&>(t).edit(src + "/Bericht.txt", "Laptop, länger", 2'000'000);
         static_cast<Sync_Edits&>(t).edit(dst + "/Bericht.txt", "Stick", 2'000'000);
     },
     {{"Bericht.txt", "Laptop, länger"}, {"Bericht (Konflikt, ziel).txt", "Stick"}, {"Notiz.txt", "n"}},
     {},
     1},
    // ... and by content, where the sizes are the same too.
    {"SameTimeSameSizeOtherContent",
     false,
     [](Sync_Run& t, auto& src, auto& dst) {
         static_cast<Sync_Edits&>(t).edit(src + "/Bericht.txt", "AAAAA", 2'000'000);
         static_cast<Sync_Edits&>(t).edit(dst + "/Bericht.txt", "BBBBB", 2'000'000);
     },
     {{"Bericht.txt", "AAAAA"}, {"Bericht (Konflikt, ziel).txt", "BBBBB"}, {"Notiz.txt", "n"}},
     {},
     1},
    // Made on both sides since, each with its own content.
    {"NewOnBothSides",
     false,
     [](Sync_Run& t, auto& src, auto& dst) {
         static_cast<Sync_Edits&>(t).edit(src + "/Neu.txt", "Laptop", 2'000'000);
         static_cast<Sync_Edits&>(t).edit(dst + "/Neu.txt", "Stick", 3'000'000);
     },
     {{"Bericht.txt", "original"}, {"Neu.txt", "Stick"}, {"Neu (Konflikt, quelle).txt", "Laptop"}, {"Notiz.txt", "n"}},
     {},
     1},
    // One side changed, even to an older version (a restored backup): it wins.
    {"EditedOnOneSideOnly",
     false,
     [](Sync_Run& t, auto&, auto& dst) {
         static_cast<Sync_Edits&>(t).edit(dst + "/Bericht.txt", "zurückgeholt", 500'000);
     },
     {{"Bericht.txt", "zurückgeholt"}, {"Notiz.txt", "n"}},
     {},
     0},
    {"DeletedWithoutSyncDeletionsComesBack",
     false,
     [](Sync_Run&, auto&, auto& dst) { std::filesystem::remove(dst + "/Bericht.txt"); },
     {{"Bericht.txt", "original"}, {"Notiz.txt", "n"}},
     {},
     0},
    {"DeletedGoesToTheOtherSidesTrash",
     true,
     [](Sync_Run&, auto&, auto& dst) { std::filesystem::remove(dst + "/Bericht.txt"); },
     {{"Notiz.txt", "n"}},
     {{"Bericht.txt", "original"}},
     0,
     "quelle/Bericht.txt"},
    {"DeletedInTheSourceGoesFromTheTarget",
     true,
     [](Sync_Run&, auto& src, auto&) { std::filesystem::remove(src + "/Unter/Tief.txt"); },
     {{"Bericht.txt", "original"}, {"Notiz.txt", "n"}},
     {{"Tief.txt", "t"}},
     0,
     "ziel/Unter/Tief.txt"},
    {"DeletedAgainstAnEditIsAConflictAndStays",
     true,
     [](Sync_Run& t, auto& src, auto& dst) {
         std::filesystem::remove(dst + "/Bericht.txt");
         static_cast<Sync_Edits&>(t).edit(src + "/Bericht.txt", "weiter bearbeitet", 2'000'000);
     },
     {{"Bericht.txt", "weiter bearbeitet"}, {"Notiz.txt", "n"}},
     {},
     1},
    {"RenamedFollowsWithSyncDeletions",
     true,
     [](Sync_Run&, auto& src, auto&) { std::filesystem::rename(src + "/Bericht.txt", src + "/Neu.txt"); },
     {{"Neu.txt", "original"}, {"Notiz.txt", "n"}},
     {{"Bericht.txt", "original"}},
     0,
     "ziel/Bericht.txt"},
    {"RenamedWithoutSyncDeletionsIsThereUnderBothNames",
     false,
     [](Sync_Run&, auto& src, auto&) { std::filesystem::rename(src + "/Bericht.txt", src + "/Neu.txt"); },
     {{"Bericht.txt", "original"}, {"Neu.txt", "original"}, {"Notiz.txt", "n"}},
     {},
     0},
};

TEST_P(Sync_Edits, NoEditIsLostAndTheNextSynchronisationFindsBothSidesInStep) {
    const Edit_Case& edit_case = GetParam();
    in_step("Bericht.txt", "original", 1'000'000);
    in_step("Notiz.txt", "n", 1'000'000);
    in_step("Unter/Tief.txt", "t", 1'000'000);
    EXPECT_EQ(start(), "6 Dateien erfolgreich synchronisiert");  // both passes count

    edit_case.edit(*this, src, dst);
    options.Sync_Deletions = edit_case.sync_deletions;
    const std::string text = start();
    Tree expected = edit_case.both;
    if (!edit_case.trash.contains("Tief.txt")) expected["Unter/Tief.txt"] = "t";
    EXPECT_EQ(tree_of(src), expected);
    EXPECT_EQ(tree_of(dst), expected);
    EXPECT_EQ(trash(), edit_case.trash);
    if (!edit_case.trash.empty()) {
        // Recoverable: each file in the trash says where it came from.
        const std::string info =
            read_file(tmp / "data/Trash/info" + "/" + edit_case.trash.begin()->first + ".trashinfo");
        EXPECT_NE(info.find("Path=" + tmp / edit_case.trashed_from + "\n"), std::string::npos) << info;
    }
    EXPECT_EQ(state.Outcome.conflicts, edit_case.conflicts);
    EXPECT_EQ(display.errors.size(), static_cast<std::size_t>(edit_case.conflicts));
    for (const std::string& reason : display.reasons) EXPECT_TRUE(reason.starts_with("Konflikt")) << reason;
    if (edit_case.conflicts > 0) {
        EXPECT_TRUE(text.ends_with(", 1 Konflikt")) << text;
        EXPECT_EQ(engine::Result_Of(state.Outcome), engine::Run_Result::Finished_With_Errors);
    } else {
        EXPECT_NE(text.find("erfolgreich synchronisiert"), std::string::npos) << text;
    }

    fs.reset_calls();
    EXPECT_NE(start().find("erfolgreich synchronisiert"), std::string::npos);
    EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 0);
    EXPECT_EQ(tree_of(src), expected);
}

INSTANTIATE_TEST_SUITE_P(Edits, Sync_Edits, ::testing::ValuesIn(Edit_Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A run killed in the middle has recorded at most the files it finished:
// the next run completes the rest and loses no edit.
TEST_F(Sync_Run, AKilledSynchronisationIsCompletedByTheNextWithNothingLost) {
    for (int i = 0; i < 6; ++i) in_step("f" + std::to_string(i) + ".txt", "alt", 1'000'000);
    EXPECT_EQ(start(), "12 Dateien erfolgreich synchronisiert");
    for (int i = 0; i < 6; ++i) {
        const std::string name = "/f" + std::to_string(i) + ".txt";
        edit((i % 2 ? src : dst) + name, "neu " + std::to_string(i), 2'000'000 + i);
    }
    edit(src + "/f0.txt", "beide", 1'900'000);  // changed on both sides, older here

    int copies = 0;
    killed_run([&](Fs_Operation operation, const std::string&) {
        return operation == Fs_Operation::copy_file && ++copies == 3;
    });

    start();
    Tree expected;
    for (int i = 1; i < 6; ++i) expected["f" + std::to_string(i) + ".txt"] = "neu " + std::to_string(i);
    expected["f0.txt"] = "neu 0";
    expected["f0 (Konflikt, quelle).txt"] = "beide";
    EXPECT_EQ(tree_of(src), expected);
    EXPECT_EQ(tree_of(dst), expected);
    fs.reset_calls();
    EXPECT_EQ(start(), "14 Dateien erfolgreich synchronisiert");
    EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 0);
}

// A deletion's entry is gone from the record before its file goes to the
// trash, even though a run writes its entries in batches: after a run killed
// right behind the move, a file the user takes back out of the trash is
// unknown to the next run, which copies it to the other side again.
TEST_F(Sync_Run, AFileTakenBackFromTheTrashAfterAKilledRunIsNotTrashedAgain) {
    in_step("Bericht.txt", "original", 1'000'000);
    in_step("Notiz.txt", "n", 1'000'000);
    start();
    std::filesystem::remove(dst + "/Bericht.txt");
    options.Sync_Deletions = true;
    bool moved = false;
    killed_run([&](Fs_Operation operation, const std::string& path) {
        if (moved) return true;
        moved = operation == Fs_Operation::rename && path == src + "/Bericht.txt";
        return false;
    });
    ASSERT_EQ(trash(), (Tree{{"Bericht.txt", "original"}}));

    std::filesystem::rename(tmp / "data/Trash/files/Bericht.txt", src + "/Bericht.txt");
    std::filesystem::remove(tmp / "data/Trash/info/Bericht.txt.trashinfo");
    start();
    const Tree both{{"Bericht.txt", "original"}, {"Notiz.txt", "n"}};
    EXPECT_EQ(tree_of(src), both);
    EXPECT_EQ(tree_of(dst), both);
    EXPECT_EQ(trash(), Tree{});
}

// A record that cannot be used never stops a synchronisation: it runs by
// the rules without one (the newer edit wins), says so once, and a damaged
// file is begun anew, so that the run after it knows the pair again.
class Unusable_Record : public Sync_Run, public ::testing::WithParamInterface<bool> {};

TEST_P(Unusable_Record, TheRunGoesOnByTheRulesWithoutItAndSaysSoOnce) {
    const bool damaged = GetParam();
    in_step("Bericht.txt", "original", 1'000'000);
    if (damaged)
        write_file(job.Sync_Record_File, std::string(3000, '#'));
    else
        make_folders(job.Sync_Record_File);  // nothing can be opened there
    edit(src + "/Bericht.txt", "Laptop", 2'000'000);
    edit(dst + "/Bericht.txt", "Stick", 3'000'000);
    host.answer(support::Answer_OK);
    EXPECT_EQ(start(), "2 Dateien erfolgreich synchronisiert");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].prompt.find(job.Sync_Record_File), std::string::npos) << host.boxes[0].prompt;
    EXPECT_EQ(tree_of(src), (Tree{{"Bericht.txt", "Stick"}}));
    EXPECT_EQ(tree_of(dst), (Tree{{"Bericht.txt", "Stick"}}));

    // The next edits on both sides: a conflict only where the record could be begun anew.
    edit(src + "/Bericht.txt", "Laptop 2", 4'000'000);
    edit(dst + "/Bericht.txt", "Stick 2", 5'000'000);
    if (!damaged) host.answer(support::Answer_OK);
    start();
    EXPECT_EQ(state.Outcome.conflicts, damaged ? 1 : 0);
    EXPECT_EQ(tree_of(dst).size(), damaged ? 2u : 1u);
    EXPECT_EQ(read_file(src + "/Bericht.txt"), "Stick 2");
}

INSTANTIATE_TEST_SUITE_P(Damaged_Or_Unopenable, Unusable_Record, ::testing::Bool());

}  // namespace
}  // namespace zentrel::testing
