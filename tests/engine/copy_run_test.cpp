// Whole runs through Start_Click: what lands in the target, what a second
// run does, and how each option changes the selection.
#include "job_fixture.h"

#include "common/unprivileged.h"
#include "platform/dos_attributes.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <thread>
#include <tuple>

#include "platform/date_value.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace zentrel::testing {
namespace {

class Copy_Run : public Job_Test {
protected:
    Copy_Run() { make_folders(dst); }

    void build_source() {
        write_file(src + "/a.txt", "alpha");
        write_file(src + "/b.doc", "bravo bravo");
        write_file(src + "/c.bak", "charlie");
        write_file(src + "/Briefe/d.txt", "delta");
        write_file(src + "/Briefe/Alt/e.txt", std::string(5000, 'e'));
        write_file(src + "/Leer/.keep", "");
        set_mtime(src + "/a.txt", 1'600'000'000, 123'456'789);
        set_mtime(src + "/Briefe/d.txt", 1'500'000'000, 1);
    }
};

TEST_F(Copy_Run, CopiesTheTreeWithTimesAndASecondRunCopiesNothing) {
    build_source();
    options.Copy_HiddenFiles = true;  // .keep is hidden by its dot
    EXPECT_EQ(start(), "6 Dateien erfolgreich verarbeitet");
    expect_same_tree(src, dst);
    EXPECT_EQ(state.Processed_Files, 6);
    EXPECT_EQ(state.Source_Files, 6);
    EXPECT_EQ(state.Processed_Bytes, 5 + 11 + 7 + 5 + 5000 + 0);
    EXPECT_EQ(display.count(engine::File_Counter::Processed_Files), 6);
    EXPECT_EQ(display.bytes[engine::Byte_Count_Kind::Copied].back(), 5028);
    EXPECT_EQ(display.progress, 1.0);
    EXPECT_FALSE(display.cancel_shown);
    EXPECT_FALSE(display.run_under_way);
    EXPECT_FALSE(state.Run_Under_Way);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(exists(dst + "/$$$Temp1$$$"));

    const std::size_t before = display.statuses.size();
    EXPECT_EQ(start(), "6 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(state.Processed_Files, 0);
    EXPECT_EQ(state.Source_Files, 0);
    EXPECT_EQ(state.Total_Files, 6);
    std::vector<std::string> skipped;
    const auto& history = display.statuses;
    for (std::size_t i = before; i < history.size(); ++i)
        if (history[i].starts_with("überspringe ")) skipped.push_back(history[i]);
    EXPECT_EQ(skipped.size(), 6u);
    EXPECT_NE(std::find(skipped.begin(), skipped.end(), "überspringe " + src + "/Briefe/d.txt"), skipped.end());
    expect_same_tree(src, dst);
    // The outcome says that nothing was copied, and why.
    EXPECT_EQ(state.Outcome.files_copied, 0);
    EXPECT_EQ(state.Outcome.files_unchanged, 6);
    EXPECT_EQ(state.Outcome.files_handled, 6);
    EXPECT_EQ(engine::Result_Of(state.Outcome), engine::Run_Result::Done);
}

// Too little space for what the evaluation counted, less what the copies
// replace (but for the largest old version, kept until its new one is
// complete): one question before anything is copied.
TEST_F(Copy_Run, TooLittleSpaceInTheTargetIsForeseenAndAskedOnce) {
    write_file(src + "/a.bin", std::string(1'500'000, 'a'));
    write_file(src + "/b.bin", std::string(1'000'000, 'b'));
    write_file(dst + "/a.bin", std::string(200'000, 'o'));  // replaced: their space comes back
    write_file(dst + "/b.bin", std::string(500'000, 'o'));
    fs.pretend_free_space(1'900'000);

    host.answer(support::Answer_No);
    job.Start_Click();
    ASSERT_EQ(prompts(), std::vector<std::string>{"Im Zielverzeichnis ist nicht genug Platz frei (benötigt: 2,300 "
                                                  "MBytes, frei: 1,900 MBytes) - Trotzdem ausführen?"});
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_Yes_No);
    EXPECT_EQ(state.Outcome.refusal, engine::Refusal::Not_Enough_Space);
    EXPECT_EQ(read_file(dst + "/a.bin").size(), 200'000u);
    EXPECT_EQ(read_file(dst + "/b.bin").size(), 500'000u);
    EXPECT_FALSE(display.run_under_way);
    EXPECT_FALSE(display.cancel_shown);

    host.boxes.clear();
    host.answer(support::Answer_Yes);
    EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(read_file(dst + "/b.bin").size(), 1'000'000u);

    // Enough room (1,500,001 bytes for a.bin while its old version is
    // kept): no question.
    write_file(src + "/a.bin", std::string(1'500'001, 'a'));
    fs.pretend_free_space(1'600'000);
    host.boxes.clear();
    EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
    EXPECT_TRUE(host.boxes.empty());
}

// A full target met during the run: one question, then every later file
// fails at once into the list, and only what was copied counts as copied.
TEST_F(Copy_Run, AFullTargetAsksOnceAndCountsOnlyWhatWasCopied) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) write_file(src + "/" + name, name);
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", ENOSPC);
    fs.fail(Fs_Operation::copy_file, src + "/c.txt", ENOSPC);
    fs.fail(Fs_Operation::copy_file, src + "/d.txt", ENOSPC);

    host.answer(support::Answer_No);  // go on and list the rest
    EXPECT_EQ(start(), "Kopierfehler bei 3 Dateien");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].prompt.starts_with("Im Zielverzeichnis ist kein Platz mehr frei:"));
    EXPECT_EQ(display.errors, (std::vector<std::string>{src + "/a.txt", src + "/c.txt", src + "/d.txt"}));
    EXPECT_EQ(read_file(dst + "/b.txt"), "b.txt");
    EXPECT_EQ(display.count(engine::File_Counter::Processed_Files), 1);
    EXPECT_EQ(display.bytes[engine::Byte_Count_Kind::Copied].back(), 5);
    EXPECT_EQ(state.Outcome.files_copied, 1);
    EXPECT_EQ(state.Outcome.files_failed, 3);
    EXPECT_EQ(engine::Result_Of(state.Outcome), engine::Run_Result::Finished_With_Errors);

    // Stop: the run ends at the first full copy, as the user's stop.
    std::filesystem::remove(dst + "/b.txt");
    host.boxes.clear();
    host.answer(support::Answer_Yes);
    EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien - Abbruch durch Benutzer");
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_FALSE(exists(dst + "/b.txt"));
    EXPECT_TRUE(state.Outcome.stopped_at_failure);
    EXPECT_EQ(engine::Result_Of(state.Outcome), engine::Run_Result::Finished_With_Errors);
}

TEST_F(Copy_Run, FiltersAndSubfolderOptionChooseTheFiles) {
    build_source();
    options.Include_Filter = "*.txt; *.doc";
    options.Exclude_Filter = "A.TXT";
    options.Include_Subfolders = false;
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(files_below(dst), std::vector<std::string>{"b.doc"});

    options.Include_Subfolders = true;
    start();
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{"Briefe/Alt/e.txt", "Briefe/d.txt", "b.doc"}));
}

TEST_F(Copy_Run, ReplacesByDifferenceButWithOnlyNewerOnlyByNewerSources) {
    write_file(src + "/alt.txt", "source");
    write_file(src + "/neu.txt", "source");
    write_file(dst + "/alt.txt", "target, older");
    write_file(dst + "/neu.txt", "target, newer");
    set_mtime(src + "/alt.txt", 2'000'000);
    set_mtime(dst + "/alt.txt", 1'000'000);
    set_mtime(src + "/neu.txt", 2'000'000);
    set_mtime(dst + "/neu.txt", 2'000'000, 1);  // one nanosecond newer
    // The same time is not newer, whatever the sizes say.
    auto same_time_other_size = [&] {
        write_file(src + "/gleich.txt", "source, longer");
        write_file(dst + "/gleich.txt", "target");
        set_mtime(src + "/gleich.txt", 2'000'000, 5);
        set_mtime(dst + "/gleich.txt", 2'000'000, 5);
    };
    same_time_other_size();

    options.Only_newer = true;
    start();
    EXPECT_EQ(read_file(dst + "/alt.txt"), "source");
    EXPECT_EQ(read_file(dst + "/neu.txt"), "target, newer");
    EXPECT_EQ(read_file(dst + "/gleich.txt"), "target");

    options.Only_newer = false;
    start();
    EXPECT_EQ(read_file(dst + "/neu.txt"), "source");
    EXPECT_EQ(mtime_of(dst + "/neu.txt"), mtime_of(src + "/neu.txt"));

    // Synchronised, each side keeps its own version rather than the first
    // pass overwriting the target's.
    same_time_other_size();
    synchronize(true);
    start();
    EXPECT_EQ(read_file(dst + "/gleich.txt"), "target");
    EXPECT_EQ(read_file(src + "/gleich.txt"), "source, longer");
}

TEST_F(Copy_Run, SameTimeButOtherSizeIsCopied) {
    write_file(src + "/a.txt", "longer text");
    write_file(dst + "/a.txt", "short");
    set_mtime(src + "/a.txt", 3'000'000);
    set_mtime(dst + "/a.txt", 3'000'000);
    start();
    EXPECT_EQ(read_file(dst + "/a.txt"), "longer text");
}

TEST_F(Copy_Run, LaterThenSkipsTheExactInstantAndTakesASecondLater) {
    later_then("01.06.2020 12:00:00");
    ASSERT_NE(state.Later_Then_Date, 0);
    const platform::File_Time instant = platform::file_time_from_date_value(state.Later_Then_Date);
    write_file(src + "/gleich.txt", "x");
    write_file(src + "/spaeter.txt", "y");
    write_file(src + "/frueher.txt", "z");
    set_mtime(src + "/gleich.txt", instant.seconds, instant.nanoseconds);
    set_mtime(src + "/spaeter.txt", instant.seconds + 1, instant.nanoseconds);
    set_mtime(src + "/frueher.txt", instant.seconds - 86400);
    start();
    EXPECT_EQ(files_below(dst), std::vector<std::string>{"spaeter.txt"});

    // An emptied field switches the date test off although the date stays.
    later_then("");
    start();
    EXPECT_EQ(files_below(dst).size(), 3u);
}

TEST_F(Copy_Run, ArchiveOptionsMakeASecondRunCopyNothing) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    write_file(src + "/c.txt", "c");
    set_attributes(src + "/c.txt", 0);  // archive clear: not taken
    // A link has no archive bit: the reset passes it by and the walk goes on.
    ASSERT_EQ(::symlink("a.txt", (src + "/0-link").c_str()), 0);
    write_file(src + "/Unter/u.txt", "u");
    // Clearing the bit changes nothing else, not even an odd mode (one its
    // owner may write: see below for a read-only one).
    ::chmod((src + "/b.txt").c_str(), 0646);
    options.Only_Archive = true;
    options.Reset_Archive = true;
    EXPECT_EQ(start(), "5 Dateien erfolgreich verarbeitet");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(std::filesystem::is_symlink(dst + "/0-link"));
    std::filesystem::remove(dst + "/0-link");
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{"Unter/u.txt", "a.txt", "b.txt"}));
    EXPECT_FALSE(attributes(src + "/a.txt") & platform::Attribute_Archive);
    EXPECT_FALSE(attributes(src + "/Unter/u.txt") & platform::Attribute_Archive);
    EXPECT_EQ(std::filesystem::status(src + "/b.txt").permissions(), std::filesystem::perms(0646));
    std::filesystem::remove(src + "/0-link");

    std::filesystem::remove(dst + "/a.txt");
    std::filesystem::remove(dst + "/b.txt");
    start();
    EXPECT_FALSE(exists(dst + "/a.txt"));
    EXPECT_EQ(state.Processed_Files, 0);

    // A change of the file counts as archive set again.
    write_file(src + "/a.txt", "changed");
    set_mtime(src + "/a.txt", 1'234'567'890);
    start();
    EXPECT_EQ(read_file(dst + "/a.txt"), "changed");
}

TEST_F(Copy_Run, FileTestsUseTheAttributesTheListingRead) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/c.txt", "c");
    write_file(src + "/h.txt", "h");
    set_attributes(src + "/c.txt", 0);  // archive clear: not taken
    set_attributes(src + "/h.txt", platform::Attribute_Hidden | platform::Attribute_Archive);
    options.Only_Archive = true;
    write_file(src + "/n.txt", "n");
    // Archive set, as for a.txt, but stored where a.txt has nothing stored.
    ASSERT_EQ(::setxattr((src + "/n.txt").c_str(), "user.DOSATTRIB", "0x20", 4, 0), 0);
    std::map<std::string, int> reads;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::get_attribute || operation == Fs_Operation::get_attributes_in) ++reads[path];
    });
    start();
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{"a.txt", "n.txt"}));
    // A file copied into an absent target is copied on the evaluation's
    // word, not read again by the walk; its copy carries what it has.
    EXPECT_EQ(reads[src + "/a.txt"], 1);
    EXPECT_EQ(reads[src + "/n.txt"], 1);
    char stored[8];
    EXPECT_EQ(::getxattr((dst + "/n.txt").c_str(), "user.DOSATTRIB", stored, sizeof stored), 4);

    reads.clear();
    start();
    EXPECT_EQ(state.Processed_Files, 0);
    // Only the evaluation's listing reads the stored attribute; the walk
    // takes over what it decided for the files it left out (hidden) or found
    // unchanged. A cleared archive bit also needs its recorded time, read
    // once by the evaluation's test.
    EXPECT_EQ(reads[src + "/a.txt"], 1);
    EXPECT_EQ(reads[src + "/c.txt"], 2);
    EXPECT_EQ(reads[src + "/h.txt"], 1);
    fs.before(nullptr);

    // The bytes from the listing still show a changed file as archive set.
    write_file(src + "/c.txt", "changed");
    set_mtime(src + "/c.txt", 1'234'567'890);
    start();
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{"a.txt", "c.txt", "n.txt"}));
    EXPECT_EQ(read_file(dst + "/c.txt"), "changed");
}

// A file the evaluation found to be copied into an absent target is copied
// on that word, without the walk's looks at it and its target; a target that
// appears meanwhile is never replaced unseen: the walk tests the file in
// full, as without the verdict, and here keeps the newer target.
TEST_F(Copy_Run, ATargetThatAppearsAfterTheEvaluationIsTestedInFull) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    set_mtime(src + "/b.txt", 1'500'000'000);
    options.Only_newer = 1;
    std::map<std::string, int> looks;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::status) ++looks[path];
        if (operation == Fs_Operation::copy_file && path == src + "/b.txt" && !exists(dst + "/b.txt")) {
            write_file(dst + "/b.txt", "newer");
            set_mtime(dst + "/b.txt", 1'600'000'000);
        }
    });
    start();
    fs.before(nullptr);
    EXPECT_EQ(read_file(dst + "/a.txt"), "a");
    EXPECT_EQ(read_file(dst + "/b.txt"), "newer");
    EXPECT_EQ(state.Processed_Files, 1);
    EXPECT_EQ(state.Error_Files, 0);
    EXPECT_EQ(looks[src + "/a.txt"], 1);
    EXPECT_EQ(looks[dst + "/a.txt"], 1);
}

// A re-run looks at an unchanged file once, in the evaluation; the walk
// trusts that verdict only while the folder lists the same names and no
// option the file test reads has changed.
TEST_F(Copy_Run, TheWalkTrustsTheEvaluationOnlyWhileFolderAndOptionsStayTheSame) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    write_file(src + "/.versteckt", "v");
    EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
    std::map<std::string, int> looks;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::status) ++looks[path];
    });
    start();
    EXPECT_EQ(state.Processed_Files, 0);
    EXPECT_EQ(looks[src + "/a.txt"], 1);
    EXPECT_EQ(looks[dst + "/a.txt"], 1);
    EXPECT_EQ(statuses_starting("überspringe " + src + "/a.txt").size(), 1u);  // and shows it as before
    EXPECT_FALSE(exists(dst + "/.versteckt"));

    // Between the evaluation and the walk, b.txt's copy grows old and the
    // folder or an option changes: the walk tests again and copies it, and
    // a file the evaluation left out as hidden once hidden files are ticked.
    const std::vector<std::tuple<const char*, std::function<void()>, std::string>> changes = {
        {"a new file", [&] { write_file(src + "/neu.txt", "n"); }, "b.txt"},
        {"an option", [&] { options.Only_newer = true; }, "b.txt"},
        {"hidden files", [&] { options.Copy_HiddenFiles = true; }, ".versteckt"},
        {"a file renamed", [&] { std::filesystem::rename(src + "/a.txt", src + "/c.txt"); }, "c.txt"},
    };
    for (const auto& [what, change, arrives] : changes) {
        SCOPED_TRACE(what);
        options.Only_newer = false;
        bool changed = false;
        // The evaluation of the one folder ends by clearing the status line.
        display.on_status = [&] {
            if (changed || !display.status.empty()) return;
            changed = true;
            write_file(dst + "/b.txt", "alt");
            set_mtime(dst + "/b.txt", 1'000'000'000);
            change();
        };
        start();
        display.on_status = nullptr;
        EXPECT_TRUE(changed);
        EXPECT_EQ(read_file(dst + "/" + arrives), read_file(src + "/" + arrives));
    }
}

// What changes while the walk is under way is seen from the next file on:
// an option changed within a folder, and a copy deleted a while before its
// file's turn, however recently the evaluation found it unchanged. Files
// the evaluation counted that changed options then left out are named in
// the final text, which does not call such a run a success.
TEST_F(Copy_Run, ChangesDuringTheWalkApplyFromTheNextFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        write_file(src + "/" + name, name);
        write_file(dst + "/" + name, "neuer");
        set_mtime(src + "/" + name, 1'500'000'000);
        set_mtime(dst + "/" + name, 1'600'000'000);
    }
    options.Only_newer = true;
    display.on_status = [&] {
        if (display.status == "überspringe " + src + "/a.txt") options.Only_newer = false;
    };
    EXPECT_EQ(start(), "3 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(dst + "/a.txt"), "neuer");
    EXPECT_EQ(read_file(dst + "/b.txt"), "b.txt");
    EXPECT_EQ(read_file(dst + "/c.txt"), "c.txt");

    // Deleted more than a second before its turn: copied again.
    display.on_status = [&] {
        if (display.status != "überspringe " + src + "/b.txt") return;
        std::filesystem::remove(dst + "/c.txt");
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    };
    EXPECT_EQ(start(), "3 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(dst + "/c.txt"), "c.txt");

    // A filter that excludes a file of the next folder once the first is
    // under way.
    write_file(src + "/Eins/x.txt", "x");
    write_file(src + "/Zwei/y.txt", "y");
    write_file(src + "/Zwei/z.txt", "z");
    display.on_status = [&] {
        if (display.status == "kopiere " + src + "/Eins/x.txt") options.Exclude_Filter = "z.txt";
    };
    EXPECT_EQ(start(),
              "6 Dateien verarbeitet (1 Dateien wegen während der Ausführung geänderter Optionen ausgelassen)");
    EXPECT_EQ(state.Left_Out_By_Option_Change, 1);
    EXPECT_FALSE(exists(dst + "/Zwei/z.txt"));
    EXPECT_TRUE(exists(dst + "/Zwei/y.txt"));

    // New files reached more than a second after the evaluation: still
    // copied on its word, without a second look, but their stored
    // attributes are read again: one hidden meanwhile is left out. One
    // grown large meanwhile is copied while the window goes on.
    write_file(src + "/Drei/o.txt", "o");  // makes the folder, copied on its own
    write_file(src + "/Drei/p.txt", "p");
    write_file(src + "/Drei/q.txt", "q");
    write_file(src + "/Drei/r.txt", "r");
    const std::string grown(16 << 20, 'r');
    std::map<std::string, int> looks;
    std::atomic<bool> event_seen{false};
    bool events_during_copy = false;
    host.on_events = [&] { event_seen = true; };
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::status) ++looks[path];
        if (operation != Fs_Operation::copy_file || path != src + "/Drei/r.txt") return;
        // The copy goes on once the window has handled an event. The last
        // try counts: a batch asked first turns the grown file away.
        event_seen = false;
        for (int i = 0; i < 1'000 && !event_seen; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        events_during_copy = event_seen;
    });
    display.on_status = [&] {
        if (display.status != "überspringe " + src + "/a.txt") return;
        ASSERT_EQ(::setxattr((src + "/Drei/q.txt").c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
        write_file(src + "/Drei/r.txt", grown);
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    };
    start();
    fs.before(nullptr);
    host.on_events = nullptr;
    EXPECT_EQ(read_file(dst + "/Drei/p.txt"), "p");
    EXPECT_EQ(looks[src + "/Drei/p.txt"], 1);
    EXPECT_FALSE(exists(dst + "/Drei/q.txt"));
    EXPECT_TRUE(read_file(dst + "/Drei/r.txt") == grown);
    EXPECT_TRUE(events_during_copy);
}

// Where the bit cannot be cleared (a file system without user attributes, a
// read-only mount) the files still count as copied, and one message after
// the run says how many keep their bit. A file changed between its copy and
// the reset keeps its bit, so that the next run takes the new content.
TEST_F(Copy_Run, ArchiveBitsThatCannotOrMustNotBeClearedAreKept) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) write_file(src + "/" + std::string(name), name);
    options.Reset_Archive = true;
    fs.fail(Fs_Operation::set_attribute, src + "/a.txt", ENOTSUP);
    fs.fail(Fs_Operation::set_attribute, src + "/c.txt", EROFS);
    bool d_copied = false;
    fs.before([&](Fs_Operation op, const std::string& path) {
        // Changed after its copy, before the reset looks at it again.
        if (op == Fs_Operation::copy_file && path == src + "/d.txt") d_copied = true;
        if (op == Fs_Operation::status && path == src + "/d.txt" && d_copied) {
            d_copied = false;
            write_file(src + "/d.txt", "neu");
        }
    });
    host.answer(support::Answer_OK);
    EXPECT_EQ(start(), "4 Dateien erfolgreich verarbeitet");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(
        host.boxes[0].prompt.starts_with("Bei 2 kopierten Dateien konnte das Archivbit nicht zurückgesetzt werden"))
        << host.boxes[0].prompt;
    EXPECT_NE(host.boxes[0].prompt.find(src + "/a.txt"), std::string::npos);
    fs.clear();
    fs.before(nullptr);
    EXPECT_TRUE(attributes(src + "/a.txt") & platform::Attribute_Archive);
    EXPECT_FALSE(attributes(src + "/b.txt") & platform::Attribute_Archive);
    EXPECT_TRUE(attributes(src + "/c.txt") & platform::Attribute_Archive);
    EXPECT_TRUE(attributes(src + "/d.txt") & platform::Attribute_Archive);

    // The message promises what the next run does: the kept bits make it
    // look at those files again, and it copies only the one that changed.
    EXPECT_TRUE(host.boxes[0].prompt.ends_with(
        "\r\nIhr Archivbit bleibt gesetzt. Die nächste Ausführung kopiert sie nur, wenn sie sich bis dahin ändern "
        "oder ihre Kopie im Ziel fehlt oder abweicht."))
        << host.boxes[0].prompt;
    options.Only_Archive = true;
    options.Reset_Archive = false;
    host.boxes.clear();
    start();
    EXPECT_EQ(state.Processed_Files, 1);
    EXPECT_EQ(read_file(dst + "/d.txt"), "neu");
}

TEST_F(Copy_Run, FailedCopyKeepsTheArchiveBit) {
    write_file(src + "/gut.txt", "ok");
    write_file(src + "/schlecht.txt", "fails");
    options.Reset_Archive = true;
    fs.fail(Fs_Operation::copy_file, src + "/schlecht.txt", EIO);
    host.answer(support::Answer_Ignore).answer(support::Answer_No);
    EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien");
    EXPECT_FALSE(attributes(src + "/gut.txt") & platform::Attribute_Archive);
    EXPECT_TRUE(attributes(src + "/schlecht.txt") & platform::Attribute_Archive);
    EXPECT_EQ(display.errors, std::vector<std::string>{src + "/schlecht.txt"});
    EXPECT_EQ(state.Error_Files, 1);
    EXPECT_EQ(display.count(engine::File_Counter::Error_Files), 1);
    EXPECT_TRUE(display.error_counter_shown);
    // Only what reached the target counts as copied.
    EXPECT_EQ(state.Processed_Files, 1);
    EXPECT_EQ(state.Outcome.files_copied, 1);
    EXPECT_EQ(state.Outcome.files_failed, 1);
}

TEST_F(Copy_Run, HiddenAndSystemFilesAndFoldersOnlyWithTheirOptions) {
    write_file(src + "/normal.txt", "n");
    write_file(src + "/.versteckt", "h");
    write_file(src + "/system.sys", "s");
    write_file(src + "/Sys/in.txt", "i");
    write_file(src + "/.Geheim/in.txt", "g");
    set_attributes(src + "/system.sys", platform::Attribute_System | platform::Attribute_Archive);
    platform::write_dos_attributes(fs, src + "/Sys", *fs.status(src + "/Sys"), platform::Attribute_System);

    start();
    EXPECT_EQ(files_below(dst), std::vector<std::string>{"normal.txt"});

    options.Copy_HiddenFiles = true;
    start();
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{".Geheim/in.txt", ".versteckt", "normal.txt"}));

    options.Copy_HiddenFiles = false;
    options.Copy_SysFiles = true;
    start();
    EXPECT_EQ(files_below(dst),
              (std::vector<std::string>{".Geheim/in.txt", ".versteckt", "Sys/in.txt", "normal.txt", "system.sys"}));
    EXPECT_TRUE(attributes(dst + "/system.sys") & platform::Attribute_System);
}

TEST_F(Copy_Run, EmptyFoldersAreMadeOnlyWithTheirOption) {
    std::filesystem::remove(dst);
    make_folders(src + "/eins/zwei");
    make_folders(src + "/drei");
    options.Copy_Empty_Folders = true;
    options.Include_Subfolders = false;
    host.answer(support::Answer_Yes);
    EXPECT_EQ(start(), "0 Dateien erfolgreich verarbeitet");
    EXPECT_TRUE(std::filesystem::is_directory(dst));
    EXPECT_FALSE(exists(dst + "/eins"));

    options.Include_Subfolders = true;
    start();
    EXPECT_TRUE(std::filesystem::is_directory(dst + "/eins/zwei"));
    EXPECT_TRUE(std::filesystem::is_directory(dst + "/drei"));
    EXPECT_EQ(state.Processed_Files, 0);
}

TEST_F(Copy_Run, SynchronisesBothWaysAndASecondSynchronisationCopiesNothing) {
    write_file(src + "/beide.txt", "old");
    write_file(dst + "/beide.txt", "new from target");
    set_mtime(src + "/beide.txt", 1'000'000);
    set_mtime(dst + "/beide.txt", 2'000'000);
    write_file(src + "/quelle.txt", "newer in source");
    write_file(dst + "/quelle.txt", "older");
    set_mtime(src + "/quelle.txt", 5'000'000);
    set_mtime(dst + "/quelle.txt", 4'000'000);
    write_file(src + "/nur_quelle/q.txt", "q");
    write_file(dst + "/nur_ziel/z.txt", "z");
    synchronize(true);
    ASSERT_NE(options.Only_newer, 0);

    EXPECT_EQ(start(), "7 Dateien erfolgreich synchronisiert");
    expect_same_tree(src, dst);
    EXPECT_EQ(read_file(src + "/beide.txt"), "new from target");
    EXPECT_EQ(read_file(dst + "/quelle.txt"), "newer in source");
    EXPECT_EQ(display.count(engine::File_Counter::Total_Files), 4);  // the second pass's count alone
    EXPECT_TRUE(state.Reverse_Direction);

    fs.reset_calls();
    EXPECT_EQ(start(), "8 Dateien erfolgreich synchronisiert");
    EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 0);
    EXPECT_EQ(state.Processed_Files, 0);
}

// A synchronisation writes into both trees, so its clean-up meets the
// user's files: a parked file it cannot show to be stale (here the only
// copy of an old version in the source) stays, is never carried across and
// is reported; an old version a killed run parked beside its replacement
// goes, and a replaced read-only file leaves none behind.
TEST_F(Copy_Run, ASynchronisationRemovesOnlyParkedFilesShownStale) {
    write_file(src + "/a.txt", "alt a");
    write_file(dst + "/a.txt", "neu a");
    set_mtime(src + "/a.txt", 1'500'000'000);
    set_mtime(dst + "/a.txt", 1'600'000'000);
    write_file(src + "/$$$Temp1$$$", "einzige Kopie");
    write_file(src + "/Unter/c.txt", "neu c");
    write_file(dst + "/Unter/c.txt", "alt c");
    set_mtime(src + "/Unter/c.txt", 1'600'000'000);
    set_mtime(dst + "/Unter/c.txt", 1'500'000'000);
    set_attributes(dst + "/Unter/c.txt", platform::Attribute_Read_Only);
    for (const std::string& root : {src, dst}) {
        write_file(root + "/Zwei/b.txt", "b");
        set_mtime(root + "/Zwei/b.txt", 1'500'000'000);
    }
    write_file(dst + "/Zwei/$$$Temp1$$$", "alt b");
    fs.set_attribute(dst + "/Zwei/$$$Temp1$$$", engine::Parked_From_Attribute, "b.txt");
    synchronize(true);

    EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien");
    EXPECT_EQ(display.errors, std::vector<std::string>{src + "/$$$Temp1$$$"});
    EXPECT_EQ(display.troubles, std::vector{engine::Copy_Trouble::Parked_Version_Kept});
    EXPECT_EQ(read_file(src + "/$$$Temp1$$$"), "einzige Kopie");
    EXPECT_EQ(read_file(src + "/a.txt"), "neu a");
    EXPECT_EQ(read_file(dst + "/Unter/c.txt"), "neu c");
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{"Unter/c.txt", "Zwei/b.txt", "a.txt"}));
    EXPECT_EQ(files_below(src), (std::vector<std::string>{"$$$Temp1$$$", "Unter/c.txt", "Zwei/b.txt", "a.txt"}));
}

TEST_F(Copy_Run, IgnoreAllChosenInTheFirstPassHoldsInTheSecond) {
    write_file(src + "/a.txt", "a");
    write_file(dst + "/b.txt", "b");
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    fs.fail(Fs_Operation::copy_file, dst + "/b.txt", EIO);
    synchronize(true);
    host.answer(support::Answer_Ignore).answer(support::Answer_Yes);
    EXPECT_EQ(start(), "Kopierfehler bei 2 Dateien");
    EXPECT_EQ(prompts(), (std::vector<std::string>{
                             "Konnte Datei nicht kopieren: " + src + "/a.txt\r\nInput/output error: " + src + "/a.txt",
                             "Alle weiteren Fehler ignorieren?"}));
    EXPECT_EQ(display.errors, (std::vector<std::string>{src + "/a.txt", dst + "/b.txt"}));
}

TEST_F(Copy_Run, ATargetLinkIsReplacedAndWhatItPointsAtStaysUntouched) {
    write_file(tmp / "draussen.txt", "outside, keep me");
    write_file(src + "/a.txt", "new content");
    make_folders(dst);
    std::filesystem::create_symlink(tmp / "draussen.txt", dst + "/a.txt");
    start();
    EXPECT_FALSE(std::filesystem::is_symlink(dst + "/a.txt"));
    EXPECT_EQ(read_file(dst + "/a.txt"), "new content");
    EXPECT_EQ(read_file(tmp / "draussen.txt"), "outside, keep me");
    EXPECT_FALSE(exists(dst + "/$$$Temp1$$$"));
}

TEST_F(Copy_Run, APipeInTheSourceIsNeverOpenedAndTheRunEnds) {
    write_file(src + "/a.txt", "a");
    ASSERT_EQ(mkfifo((src + "/rohr").c_str(), 0600), 0);
    options.Copy_HiddenFiles = true;
    options.Copy_SysFiles = true;
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_FALSE(exists(dst + "/rohr"));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Copy_Run, ALinkToAFolderIsCopiedAsALinkNeverEntered) {
    write_file(tmp / "anderswo/x.txt", "x");
    write_file(src + "/a.txt", "a");
    std::filesystem::create_directory_symlink(tmp / "anderswo", src + "/verweis");
    EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
    ASSERT_TRUE(std::filesystem::is_symlink(dst + "/verweis"));
    EXPECT_EQ(std::filesystem::read_symlink(dst + "/verweis"), tmp / "anderswo");
    EXPECT_EQ(read_file(tmp / "anderswo/x.txt"), "x");
    EXPECT_TRUE(host.boxes.empty());
    // The second run finds the link in place and copies nothing, also where
    // the target kept another time for it (sshfs sets what it leads to).
    const timespec other[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dst + "/verweis").c_str(), other, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(state.Processed_Files, 0);
}

TEST_F(Copy_Run, AFewThousandFilesCopyAndASecondRunCopiesNothing) {
    for (int folder = 0; folder < 30; ++folder)
        for (int i = 0; i < 100; ++i)
            write_file(src + "/f" + std::to_string(folder) + "/d" + std::to_string(i) + ".dat",
                       std::to_string(folder * 1000 + i));
    EXPECT_EQ(start(), "3000 Dateien erfolgreich verarbeitet");
    expect_same_tree(src, dst);
    EXPECT_EQ(start(), "3000 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(state.Processed_Files, 0);
    EXPECT_EQ(state.Source_Files, 0);
}

// Another program removes a target folder after the first file went in: the
// next file makes it again instead of failing on the folder it saw before.
TEST_F(Copy_Run, ATargetFolderRemovedDuringTheRunIsMadeAgain) {
    write_file(src + "/A/a.txt", "a");
    write_file(src + "/A/b.txt", "b");
    bool removed = false;
    host.on_events = [&] {
        if (removed || !exists(dst + "/A/a.txt")) return;
        removed = true;
        std::filesystem::remove_all(dst + "/A");
    };
    EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
    ASSERT_TRUE(removed);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(files_below(dst + "/A"), std::vector<std::string>{"b.txt"});
}

// Another program swaps a folder of each tree for a link to a folder
// outside while the run is under way: nothing outside is copied or written.
TEST_F(Copy_Run, AFolderSwappedForALinkDuringTheRunIsNeverFollowed) {
    write_file(src + "/A/a.txt", "a");
    write_file(src + "/A/b.txt", "b");
    write_file(tmp / "draussen/b.txt", "fremd");
    make_folders(tmp / "ziel-draussen");
    bool swapped = false;
    host.on_events = [&] {
        if (swapped || !exists(dst + "/A/a.txt")) return;
        swapped = true;
        std::filesystem::rename(src + "/A", src + "/A-alt");
        std::filesystem::create_directory_symlink(tmp / "draussen", src + "/A");
        std::filesystem::rename(dst + "/A", dst + "/A-alt");
        std::filesystem::create_directory_symlink(tmp / "ziel-draussen", dst + "/A");
        // No second reading of A's subfolders either: the walk of A's own
        // files has to notice.
        options.Include_Subfolders = false;
        // Past the moment for which the run may still see the folders as they were.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    host.answer(support::Answer_OK);
    EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien");
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(std::filesystem::is_empty(tmp / "ziel-draussen"));
    EXPECT_EQ(files_below(tmp / "draussen"), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(display.errors, std::vector<std::string>{src + "/A/"});
}

// Another program moves the target folder out of the tree while the run
// copies into it: the copies made meanwhile, not named yet, never appear
// there; they go to the folder the tree holds under that name.
TEST_F(Copy_Run, ATargetFolderMovedOutOfTheTreeMidFolderReceivesNothingMore) {
    for (const char* name : {"a", "b", "c", "d", "e"}) write_file(src + "/A/" + name + ".txt", name);
    make_folders(tmp / "weg");
    bool moved = false;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (moved || operation != Fs_Operation::copy_file || path != src + "/A/c.txt") return;
        moved = true;
        std::filesystem::rename(dst + "/A", tmp / "weg/A");
    });
    EXPECT_EQ(start(), "5 Dateien erfolgreich verarbeitet");
    ASSERT_TRUE(moved);
    EXPECT_EQ(files_below(tmp / "weg/A"), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(files_below(dst + "/A"), (std::vector<std::string>{"b.txt", "c.txt", "d.txt", "e.txt"}));
    EXPECT_EQ(state.Outcome.files_copied, 5);
}

// A large folder's new files get their names a batch at a time, not all at
// its end: each one waiting holds an open file.
TEST_F(Copy_Run, ALargeFoldersNewFilesAreNamedABatchAtATime) {
    for (int i = 0; i < 100; ++i) write_file(src + "/A/" + std::to_string(1000 + i) + ".txt", "x");
    std::size_t named_before_last = 0;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::copy_file && path == src + "/A/1099.txt")
            named_before_last = files_below(dst + "/A").size();
    });
    EXPECT_EQ(start(), "100 Dateien erfolgreich verarbeitet");
    EXPECT_GE(named_before_last, 64u);
    EXPECT_LT(named_before_last, 99u);
    EXPECT_EQ(files_below(dst + "/A").size(), 100u);
}

// The target shows up inside the source (a bind mount made after the
// start's checks): the walk does not enter it, as cp -r refuses to copy a
// folder into itself.
TEST_F(Copy_Run, TheTargetFolderSeenInsideTheSourceIsNotEntered) {
    write_file(src + "/a.txt", "a");
    make_folders(src + "/Spiegel");
    make_folders(dst);
    write_file(dst + "/alt.txt", "from an earlier run");
    bool mounted = false;
    host.on_events = [&] {
        if (!mounted) mounted = ::mount(dst.c_str(), (src + "/Spiegel").c_str(), nullptr, MS_BIND, nullptr) == 0;
    };
    start();
    // The evaluation, too, leaves the target out: it counts a.txt alone.
    job.Evaluate_Source_Click();
    if (mounted) ::umount2((src + "/Spiegel").c_str(), MNT_DETACH);
    if (!mounted) GTEST_SKIP() << "cannot bind-mount here";
    EXPECT_EQ(files_below(dst), (std::vector<std::string>{"a.txt", "alt.txt"}));
    EXPECT_EQ(state.Total_Files, 1);
    EXPECT_FALSE(exists(dst + "/Spiegel"));
}

// Permissions hold only for an ordinary user: these run as one.
class Copy_Run_As_User : public Copy_Run {
protected:
    // Runs the job as the unprivileged user; the body judges what it left.
    void run_as_user(const std::function<std::string()> judge) {
        // Another user's files are made by root alone; the suite's run as an
        // ordinary user leaves those cases to its run as root.
        if (!root_owned.empty() && ::geteuid() != 0) GTEST_SKIP() << "only root can give files to another user";
        Hand_Over(tmp.path());
        for (const std::string& path : root_owned) ::lchown(path.c_str(), 0, 0);
        const auto outcome = Run_Unprivileged([&] {
            start();
            return judge();
        });
        if (outcome.skipped) GTEST_SKIP() << outcome.message;
        EXPECT_EQ(outcome.message, "");
    }
    std::vector<std::string> root_owned;
};

// Another user's private file is listed like any other and fails its own
// copy; the folder's other files are copied.
TEST_F(Copy_Run_As_User, AnUnreadableFileFailsAloneAndIsListed) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/geheim.txt", "g");
    write_file(src + "/z.txt", "z");
    ::chmod((src + "/geheim.txt").c_str(), 0600);
    root_owned.push_back(src + "/geheim.txt");
    host.answer(support::Answer_Ignore).answer(support::Answer_Yes);
    run_as_user([&]() -> std::string {
        if (display.status != "Kopierfehler bei 1 Dateien") return "status: " + display.status;
        if (display.errors != std::vector<std::string>{src + "/geheim.txt"})
            return "error list has " + std::to_string(display.Error_Count()) + " entries";
        if (files_below(dst) != std::vector<std::string>{"a.txt", "z.txt"}) return "the other files were not copied";
        return "";
    });
}

// A folder the user may not read or search is tried like any other, never
// passed over as one not to copy: each ends as its folder's entry in the
// error list, and the run as a failure. The one that may be read but not
// searched lists its files, whose look-ups are refused: refused is no
// "gone".
TEST_F(Copy_Run_As_User, AFolderThatCannotBeReadOrSearchedIsAFailureNeverSkipped) {
    write_file(src + "/a.txt", "a");
    const std::vector<std::pair<std::string, mode_t>> closed = {
        {"Privat", 0700}, {"Zu", 0000}, {"Nur-Schreiben", 0300}, {"Nur-Lesen", 0444}};
    for (const auto& [name, mode] : closed) write_file(src + "/" + name + "/datei.txt", name);
    // The walk's boxes: the listing's and the subfolders' of the three it
    // cannot read, the look-up's of the one it cannot search; the
    // evaluation leaves the report to the walk.
    for (int i = 0; i < 7; ++i) host.answer(support::Answer_OK);
    Hand_Over(tmp.path());
    for (const auto& [name, mode] : closed) ::chmod((src + "/" + name).c_str(), mode);
    root_owned.push_back(src + "/Privat");
    run_as_user([&]() -> std::string {
        if (host.boxes.size() != 7) return std::to_string(host.boxes.size()) + " boxes";
        for (const auto& box : host.boxes)
            if (!box.prompt.starts_with("Fehler bei der Verarbeitung von Verzeichnis:\r\n")) return box.prompt;
        if (display.status != "Kopierfehler bei 4 Dateien") return "status: " + display.status;
        std::vector<std::string> errors = display.errors;
        std::sort(errors.begin(), errors.end());
        const std::vector<std::string> expected = {src + "/Nur-Lesen/", src + "/Nur-Schreiben/", src + "/Privat/",
                                                   src + "/Zu/"};
        if (errors != expected) return "error list: " + ::testing::PrintToString(errors);
        if (files_below(dst) != std::vector<std::string>{"a.txt"})
            return "target: " + ::testing::PrintToString(files_below(dst));
        return "";
    });
    for (const auto& [name, mode] : closed) ::chmod((src + "/" + name).c_str(), 0700);
}

// A read-only source file cannot lose its archive bit as its owner; it is
// copied all the same, and one message says so.
TEST_F(Copy_Run_As_User, AReadOnlySourceKeepsItsArchiveBitAndIsStillCopied) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/nur-lesen.txt", "r");
    ::chmod((src + "/nur-lesen.txt").c_str(), 0444);
    options.Reset_Archive = true;
    host.answer(support::Answer_OK);
    run_as_user([&]() -> std::string {
        if (display.status != "2 Dateien erfolgreich verarbeitet") return "status: " + display.status;
        if (host.boxes.size() != 1 || !host.boxes[0].prompt.starts_with("Bei 1 kopierten Dateien"))
            return "no single message about the kept bit";
        if (attributes(src + "/a.txt") & platform::Attribute_Archive) return "a.txt kept its bit";
        if (!(attributes(src + "/nur-lesen.txt") & platform::Attribute_Archive))
            return "the read-only file lost its bit";
        struct stat st {};
        if (::stat((src + "/nur-lesen.txt").c_str(), &st) != 0 || (st.st_mode & 07777) != 0444)
            return "the read-only file's mode changed";
        return "";
    });
}

}  // namespace
}  // namespace zentrel::testing
