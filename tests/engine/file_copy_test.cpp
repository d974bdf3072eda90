// The copy of one file: the parking scheme, every prompt of its protocol
// and the one error-list entry per file not copied.
#include "job_fixture.h"

#include <filesystem>
#include <set>

namespace zentrel::testing {
namespace {

using support::Answer_Abort;
using support::Answer_Ignore;
using support::Answer_No;
using support::Answer_Retry;
using support::Answer_Yes;

class File_Copy : public Job_Test {
protected:
    File_Copy() {
        write_file(src + "/a.txt", "new version");
        write_file(dst + "/a.txt", "old version");
        source = file(src + "/a.txt");
    }

    bool copy(const std::string& target) { return job.Copy_File(source, target, ignore_all, abort); }
    bool copy() { return copy(dst + "/a.txt"); }
    std::vector<std::string> entries() const { return display.errors; }
    // Leftovers of the platform's all-or-nothing copy in the target folder.
    bool partial_files_left() const {
        for (auto& entry : std::filesystem::directory_iterator(dst))
            if (entry.path().filename().string().starts_with(".zentrel-")) return true;
        return false;
    }

    // An old version a run parked for name, as a killed run leaves it.
    void write_parked(const std::string& content, const std::string& name) {
        write_file(temp, content);
        fs.set_attribute(temp, engine::Parked_From_Attribute, name);
    }

    std::optional<platform::File> source;
    bool ignore_all = false;
    bool abort = false;
    const std::string temp = dst + "/$$$Temp1$$$";
};

TEST_F(File_Copy, IntoAMissingFolderMakesItAndLeavesNoTemporaryFile) {
    EXPECT_TRUE(copy(dst + "/neu/tief/a.txt"));
    EXPECT_EQ(read_file(dst + "/neu/tief/a.txt"), "new version");
    EXPECT_FALSE(exists(dst + "/neu/tief/$$$Temp1$$$"));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(entries().empty());
}

TEST_F(File_Copy, ReplacesAnExistingTargetThroughTheTemporaryName) {
    std::vector<std::string> renames;
    fs.before([&](Fs_Operation op, const std::string& path) {
        if (op == Fs_Operation::rename) renames.push_back(path);
    });
    EXPECT_TRUE(copy());
    EXPECT_EQ(read_file(dst + "/a.txt"), "new version");
    EXPECT_FALSE(exists(temp));
    ASSERT_FALSE(renames.empty());
    EXPECT_EQ(renames.front(), dst + "/a.txt");  // parked before anything is written
}

TEST_F(File_Copy, MissingSourceRetryActsAsIgnore) {
    std::optional<platform::File> nothing;
    host.answer(Answer_Retry).answer(Answer_Yes);
    EXPECT_FALSE(job.Copy_File(nothing, dst + "/a.txt", ignore_all, abort));
    ASSERT_EQ(prompts(), (std::vector<std::string>{"Quelldatei existiert nicht", "Alle weiteren Fehler ignorieren?"}));
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_Abort_Retry_Ignore);
    EXPECT_EQ(host.boxes[0].title, "Zentrel");
    EXPECT_EQ(host.boxes[1].buttons, support::Buttons_Yes_No);
    EXPECT_EQ(entries(), std::vector<std::string>{"Quelldatei existiert nicht"});
    EXPECT_TRUE(ignore_all);
    EXPECT_FALSE(abort);
}

TEST_F(File_Copy, FolderThatCannotBeMadeRetriesTheFolder) {
    fs.fail(Fs_Operation::create_folder, dst + "/neu", EACCES, 1);
    host.answer(Answer_Retry);
    EXPECT_TRUE(copy(dst + "/neu/a.txt"));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].prompt.starts_with("Konnte Zielverzeichnis nicht erstellen: " + dst + "/neu/"));
    EXPECT_NE(host.boxes[0].prompt.find("Permission denied"), std::string::npos);
    EXPECT_EQ(read_file(dst + "/neu/a.txt"), "new version");
    EXPECT_TRUE(entries().empty());
}

TEST_F(File_Copy, FolderThatCannotBeMadeAndAbortGivesOneEntry) {
    fs.fail(Fs_Operation::create_folder, dst + "/neu", EACCES);
    host.answer(Answer_Abort);
    EXPECT_FALSE(copy(dst + "/neu/a.txt"));
    EXPECT_TRUE(abort);
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/a.txt"});
}

TEST_F(File_Copy, LeftoverTemporaryFileThatWillNotGoStopsBeforeTheTargetIsTouched) {
    write_parked("leftover", "a.txt");
    fs.fail(Fs_Operation::remove_file, temp, EACCES);
    host.answer(Answer_Abort);
    EXPECT_FALSE(copy());
    EXPECT_EQ(prompts(), std::vector<std::string>{"Konnte Temporärdatei nicht löschen: " + temp});
    EXPECT_TRUE(abort);
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/a.txt"});
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
    EXPECT_EQ(read_file(temp), "leftover");
}

TEST_F(File_Copy, LeftoverTemporaryFileRetryThenSucceeds) {
    write_parked("leftover", "a.txt");
    set_attributes(temp, platform::Attribute_Read_Only | platform::Attribute_Hidden);
    fs.fail(Fs_Operation::remove_file, temp, EACCES, 1);
    host.answer(Answer_Retry);
    EXPECT_TRUE(copy());
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(read_file(dst + "/a.txt"), "new version");
    EXPECT_FALSE(exists(temp));
    EXPECT_TRUE(entries().empty());
}

TEST_F(File_Copy, TargetThatCannotBeParkedIgnoreThenNo) {
    fs.fail(Fs_Operation::rename, dst + "/a.txt", EBUSY);
    host.answer(Answer_Ignore).answer(Answer_No);
    EXPECT_FALSE(copy());
    EXPECT_EQ(prompts(), (std::vector<std::string>{"Konnte Zieldatei nicht überschreiben: " + dst + "/a.txt",
                                                   "Alle weiteren Fehler ignorieren?"}));
    EXPECT_FALSE(ignore_all);
    EXPECT_FALSE(abort);
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/a.txt"});
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
    EXPECT_FALSE(exists(temp));

    // No means the next failure asks again.
    host.answer(Answer_Ignore).answer(Answer_Yes);
    EXPECT_FALSE(copy());
    EXPECT_EQ(host.boxes.size(), 4u);
    EXPECT_TRUE(ignore_all);
    // Yes means no more questions, only entries.
    EXPECT_FALSE(copy());
    EXPECT_EQ(host.boxes.size(), 4u);
    EXPECT_EQ(entries().size(), 3u);
}

TEST_F(File_Copy, TargetThatCannotBeParkedRetryLooksTheTargetUpAgain) {
    fs.fail(Fs_Operation::rename, dst + "/a.txt", EBUSY, 1);
    host.answer(Answer_Retry);
    EXPECT_TRUE(copy());
    EXPECT_EQ(read_file(dst + "/a.txt"), "new version");
    EXPECT_TRUE(entries().empty());
}

TEST_F(File_Copy, FailedCopyRestoresTheOldVersionWithoutPartialFiles) {
    write_file(src + "/a.txt", std::string(100'000, 'n'));
    source = file(src + "/a.txt");
    fs.fail_copy_after(src + "/a.txt", 4096, EIO);
    host.answer(Answer_Abort);
    EXPECT_FALSE(copy());
    // The prompt says why: the platform's description of the failure.
    EXPECT_EQ(prompts(), std::vector<std::string>{"Konnte Datei nicht kopieren: " + src +
                                                  "/a.txt\r\nInput/output error: " + dst + "/a.txt"});
    EXPECT_TRUE(abort);
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
    EXPECT_FALSE(exists(temp));
    EXPECT_FALSE(partial_files_left());
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/a.txt"});
}

TEST_F(File_Copy, FailedCopyRetryAfterTheCauseIsGoneCopiesOnce) {
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO, 1);
    host.answer(Answer_Retry);
    EXPECT_TRUE(copy());
    EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 2);
    EXPECT_EQ(read_file(dst + "/a.txt"), "new version");
    EXPECT_FALSE(exists(temp));
    EXPECT_TRUE(entries().empty());
}

TEST_F(File_Copy, OldVersionThatCannotBeMovedBackIsNamedAndRetried) {
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    // The park succeeds; the move back, the next rename naming the
    // temporary file, fails once.
    fs.before([&](Fs_Operation op, const std::string&) {
        if (op == Fs_Operation::copy_file) {
            fs.fail(Fs_Operation::rename, temp, EIO, 1);
        }
    });
    host.answer(Answer_Retry).answer(Answer_Ignore).answer(Answer_No);
    EXPECT_FALSE(copy());
    EXPECT_EQ(prompts(), (std::vector<std::string>{
                             "Konnte Datei nicht zurückschreiben: \r\n" + temp + "\r\nauf: " + dst + "/a.txt",
                             "Konnte Datei nicht kopieren: " + src + "/a.txt\r\nInput/output error: " + src + "/a.txt",
                             "Alle weiteren Fehler ignorieren?"}));
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
    EXPECT_FALSE(exists(temp));
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/a.txt"});
}

TEST_F(File_Copy, OldVersionThatStaysParkedAfterAbortKeepsItsContent) {
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    fs.before([&](Fs_Operation op, const std::string&) {
        if (op == Fs_Operation::copy_file) fs.fail(Fs_Operation::rename, temp, EIO);
    });
    host.answer(Answer_Abort);
    EXPECT_FALSE(copy());
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(read_file(temp), "old version");
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/a.txt"});
}

// A full target fails every later file the same way: one question, whose
// answer holds for the rest of the pass, and no box per file.
TEST_F(File_Copy, AFullTargetAsksOnceAndTheRestFailWithoutABox) {
    write_file(src + "/b.txt", "b");
    std::optional<platform::File> b = file(src + "/b.txt");
    fs.fail_copy_after(src + "/a.txt", 4, ENOSPC);
    fs.fail(Fs_Operation::copy_file, src + "/b.txt", EDQUOT);
    host.answer(Answer_No);  // go on
    EXPECT_FALSE(copy());
    EXPECT_FALSE(job.Copy_File(b, dst + "/b.txt", ignore_all, abort));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].prompt.starts_with("Im Zielverzeichnis ist kein Platz mehr frei:\r\n" + dst));
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_Yes_No);
    EXPECT_FALSE(abort);
    EXPECT_EQ(entries(), (std::vector<std::string>{src + "/a.txt", src + "/b.txt"}));
    EXPECT_EQ(display.troubles, std::vector(2, engine::Copy_Trouble::Target_Full));
    EXPECT_NE(display.reasons[0].find("No space left on device"), std::string::npos);
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
    EXPECT_FALSE(exists(temp));
    EXPECT_FALSE(partial_files_left());
}

// The error list's single copy tells its own outcome and leaves the run's.
TEST_F(File_Copy, ASingleCopyToldAsTheOutcomeOfOneFile) {
    state.Outcome.files_failed = 3;
    engine::Run_Outcome copied = job.Copy_Single_File(source, dst + "/a.txt");
    EXPECT_EQ(copied.files_copied, 1);
    EXPECT_EQ(copied.bytes_copied, 11);
    EXPECT_EQ(engine::Result_Of(copied), engine::Run_Result::Done);

    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    host.answer(Answer_Abort);
    const engine::Run_Outcome failed = job.Copy_Single_File(source, dst + "/a.txt");
    EXPECT_EQ(failed.files_copied, 0);
    EXPECT_EQ(failed.files_failed, 1);
    EXPECT_TRUE(failed.stopped_at_failure);
    EXPECT_EQ(engine::Result_Of(failed), engine::Run_Result::Finished_With_Errors);
    EXPECT_EQ(state.Outcome.files_failed, 3);
    EXPECT_FALSE(state.Outcome.stopped_at_failure);
}

TEST_F(File_Copy, FailingCopyIntoTheFolderMadeForTheFileBeforeIsTriedOnceMoreThenListed) {
    write_file(src + "/b.txt", "b");
    ASSERT_TRUE(copy(dst + "/neu/a.txt"));  // makes the folder b is then copied into
    std::optional<platform::File> b = file(src + "/b.txt");
    fs.fail(Fs_Operation::copy_file, src + "/b.txt", EIO);
    ignore_all = true;
    EXPECT_FALSE(job.Copy_File(b, dst + "/neu/b.txt", ignore_all, abort));
    // a once; b into the folder as it was, then after making it again.
    EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 3);
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/b.txt"});
}

// The single copy from the error list after an evaluation: the evaluation's
// last tested target is another file's, never to be parked or replaced.
TEST_F(File_Copy, AfterAnEvaluationTheCopyLooksAtItsOwnTarget) {
    // Older than its source: the two versions, of one size, were written
    // within one tick of the file system's clock.
    set_mtime(dst + "/a.txt", 1'600'000'000);
    job.Evaluate_Source_Click();
    ASSERT_EQ(state.Source_Files, 1);  // a.txt, whose target it has looked at
    write_file(src + "/b.txt", "b");
    std::optional<platform::File> b = file(src + "/b.txt");
    EXPECT_TRUE(job.Copy_File(b, dst + "/b.txt", ignore_all, abort));
    EXPECT_EQ(read_file(dst + "/b.txt"), "b");
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
    EXPECT_FALSE(exists(temp));
}

TEST_F(File_Copy, IgnoreAllAlreadySetAsksNothing) {
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    ignore_all = true;
    EXPECT_FALSE(copy());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(abort);
    EXPECT_EQ(entries(), std::vector<std::string>{src + "/a.txt"});
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
}

// The copy removes the old version it parked, read-only or not.
TEST_F(File_Copy, AReadOnlyOldVersionIsNotLeftParked) {
    set_attributes(dst + "/a.txt", platform::Attribute_Read_Only);
    EXPECT_TRUE(copy());
    EXPECT_EQ(read_file(dst + "/a.txt"), "new version");
    EXPECT_FALSE(exists(temp));
    EXPECT_TRUE(host.boxes.empty());
}

// A file under the parking name goes only when it is shown to be stale: an
// old version this program parked whose file is there again. Any other
// (the user's own file, an old version whose restore failed) may be the
// only copy: it stays, is reported once, and the target is replaced
// without parking.
TEST_F(File_Copy, OnlyAStaleParkedVersionIsRemovedAnyOtherIsKeptAndReportedOnce) {
    const std::vector<std::pair<const char*, std::function<void()>>> leftovers = {
        {"no name", [&] { write_file(temp, "only copy"); }},
        {"its file gone", [&] { write_parked("only copy", "weg.txt"); }},
        {"a folder's name", [&] { write_parked("only copy", "../a.txt"); }},
    };
    for (const auto& [what, plant] : leftovers) {
        SCOPED_TRACE(what);
        std::filesystem::remove(temp);
        plant();
        write_file(dst + "/a.txt", "old version");
        // Once per run, by the copy that finds it and not again at the
        // folder's end; the next run reports it again.
        for (int run = 0; run < 2; ++run) {
            EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien");
            EXPECT_EQ(entries(), std::vector<std::string>{temp});
            EXPECT_EQ(read_file(dst + "/a.txt"), "new version");
            EXPECT_EQ(read_file(temp), "only copy");
        }
    }
    // A copy that fails while the parking name is taken keeps the old version.
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    write_file(dst + "/a.txt", "old version");
    ignore_all = true;
    EXPECT_FALSE(copy());
    EXPECT_EQ(read_file(dst + "/a.txt"), "old version");
    fs.clear();

    write_parked("stale", "a.txt");
    EXPECT_TRUE(copy());
    EXPECT_FALSE(exists(temp));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(File_Copy, AFileNamedLikeTheTemporaryFileIsReplacedSafely) {
    write_file(src + "/$$$Temp1$$$", "source's own file");
    write_file(temp, "target's file");
    std::optional<platform::File> odd = file(src + "/$$$Temp1$$$");
    fs.fail(Fs_Operation::copy_file, src + "/$$$Temp1$$$", EIO, 1);
    host.answer(Answer_Retry);
    EXPECT_TRUE(job.Copy_File(odd, temp, ignore_all, abort));
    EXPECT_EQ(prompts(), std::vector<std::string>{"Konnte Datei nicht kopieren: " + src +
                                                  "/$$$Temp1$$$\r\nInput/output error: " + src + "/$$$Temp1$$$"});
    EXPECT_EQ(read_file(temp), "source's own file");
}

// The one place each failure's German text is checked: the boxes and the
// error list show these, the runner prints them.
TEST(Copy_Failure_Text, EachTroubleHasItsText) {
    using engine::Copy_Trouble;
    const std::string unfinished = "Das Verzeichnis konnte nicht vollständig verarbeitet werden: ";
    const struct {
        engine::Copy_Failure failure;
        std::string text;
    } cases[] = {
        {{.trouble = Copy_Trouble::Source_Missing}, "Quelldatei existiert nicht"},
        {{Copy_Trouble::Source_Unreachable, "/q/a", "", "Permission denied: /q/a"},
         "Konnte Datei nicht kopieren: /q/a\r\nPermission denied: /q/a"},
        {{Copy_Trouble::Folder_Not_Made, "/q/a", "/z/neu/", "No space"},
         "Konnte Zielverzeichnis nicht erstellen: /z/neu/\r\nNo space"},
        {{Copy_Trouble::Leftover_Not_Removed, "/q/a", "/z/$$$Temp1$$$"},
         "Konnte Temporärdatei nicht löschen: /z/$$$Temp1$$$"},
        {{Copy_Trouble::Target_Not_Parked, "/q/a", "/z/a"}, "Konnte Zieldatei nicht überschreiben: /z/a"},
        {{Copy_Trouble::Target_Not_Restored, "/q/a", "/z/b/a"},
         "Konnte Datei nicht zurückschreiben: \r\n/z/b/$$$Temp1$$$\r\nauf: /z/b/a"},
        {{.trouble = Copy_Trouble::Not_Copied, .path = "/q/a"}, "Konnte Datei nicht kopieren: /q/a"},
        {{Copy_Trouble::Target_Full, "/q/a", "", "No space left on device"},
         "Konnte Datei nicht kopieren: /q/a\r\nNo space left on device"},
        {{Copy_Trouble::Case_Collision, "/q/B.txt", "/q/b.txt"},
         "Konnte Datei nicht kopieren: /q/B.txt\r\nDas Ziel unterscheidet Groß- und Kleinschreibung nicht: der "
         "Name fällt dort mit \"b.txt\" zusammen, die schon dorthin kopiert wird"},
        {{.trouble = Copy_Trouble::Parked_Version_Kept, .path = "/z/$$$Temp1$$$"},
         "Eine ältere Version unter dem Namen \"$$$Temp1$$$\", die nicht diese Ausführung dort abgelegt hat: sie "
         "bleibt erhalten"},
        {{Copy_Trouble::Not_Trashed, "/q/a", "", "Permission denied"},
         "Konnte Datei nicht in den Papierkorb verschieben: /q/a\r\nPermission denied"},
        {{.trouble = Copy_Trouble::Deleted_There_Changed_Here, .path = "/q/a"},
         "Konflikt: auf der anderen Seite gelöscht, hier geändert; die Datei bleibt und wird wieder auf beide Seiten "
         "gebracht"},
        {{Copy_Trouble::Conflict_Kept, "/q/a.txt", "a (Konflikt 2026-12-08 14-03, ziel).txt"},
         "Konflikt: auf beiden Seiten seit der letzten Synchronisation geändert; die neuere Fassung behält den Namen, "
         "die ältere liegt auf beiden Seiten als \"a (Konflikt 2026-12-08 14-03, ziel).txt\""},
        {{Copy_Trouble::Conflict_Not_Kept, "/q/a.txt", "/z/a.txt", "Read-only file system"},
         "Konflikt: auf beiden Seiten geändert, und die ältere Fassung /z/a.txt konnte nicht umbenannt werden; beide "
         "bleiben, wie sie sind\r\nRead-only file system"},
        {{.trouble = Copy_Trouble::Folder_Unreadable, .path = "/q/A/"},
         unfinished + "seine Dateien konnten nicht gelesen werden"},
        {{.trouble = Copy_Trouble::Folder_Gone, .path = "/q/A/"},
         unfinished + "es ist verschwunden oder wurde durch eine Verknüpfung ersetzt"},
        {{.trouble = Copy_Trouble::Folder_Failed, .path = "/q/A/", .detail = "Überlauf", .step = 11},
         unfinished + "Überlauf (Zeile: 11)"},
        {{.trouble = Copy_Trouble::Folder_Failed, .path = "/q/A/", .step = 4},
         unfinished + "Unbekannter Fehler (Zeile: 4)"},
    };
    std::set<Copy_Trouble> seen;
    for (const auto& [failure, text] : cases) {
        EXPECT_EQ(engine::Copy_Failure_Text(failure), text);
        seen.insert(failure.trouble);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(Copy_Trouble::Folder_Failed) + 1) << "a trouble without its case";
    // The list names a missing source by what the box said.
    EXPECT_EQ(engine::Error_Entry_Text(cases[0].failure), "Quelldatei existiert nicht");
    EXPECT_EQ(engine::Error_Entry_Text(cases[1].failure), "/q/a");
}

}  // namespace
}  // namespace zentrel::testing
