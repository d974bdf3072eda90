// The start command: its refusals, the creation of a missing target, and
// the final status texts.
#include "job_fixture.h"
#include "platform/mounts.h"
#include "platform/target_history.h"
#include "platform/tree_lock.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace zentrel::testing {
namespace {

using support::Answer_No;
using support::Answer_OK;
using support::Answer_Yes;

constexpr const char* Identical = "Quell- und Zielverzeichnis sind identisch...";
constexpr const char* Nested = "Quell- und Zielverzeichnis dürfen nicht ineinander liegen...";

class Job_Start : public Job_Test {
protected:
    // Runs the start with these folder texts and returns the one box shown.
    std::string refusal(const std::string& source, const std::string& target) {
        options.Sourcefolder = source;
        options.Targetfolder = target;
        host.boxes.clear();
        host.answer(Answer_OK);
        job.Start_Click();
        EXPECT_TRUE(!display.run_under_way);
        // A caller learns of the refusal from the outcome, not from the box.
        EXPECT_EQ(engine::Result_Of(state.Outcome), engine::Run_Result::Refused);
        EXPECT_FALSE(state.Outcome.began);
        EXPECT_EQ(host.boxes.size(), 1u) << source << " -> " << target;
        return host.boxes.empty() ? std::string() : host.boxes[0].prompt;
    }
};

TEST_F(Job_Start, RefusesAMissingOrEmptySource) {
    EXPECT_EQ(refusal("", dst), "Quellverzeichnis existiert nicht...");
    ASSERT_EQ(refusal(tmp / "fehlt", dst), "Quellverzeichnis existiert nicht...");
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_OK);
    EXPECT_EQ(host.boxes[0].title, "Zentrel");
}

TEST_F(Job_Start, RefusesTheSameFolderHoweverItIsWritten) {
    write_file(src + "/a.txt", "a");
    EXPECT_EQ(refusal(src, src + "/"), Identical);
    EXPECT_EQ(refusal(src, tmp / "./quelle/../quelle//"), Identical);
    std::filesystem::create_directory_symlink(src, tmp / "verweis");
    EXPECT_EQ(refusal(src, tmp / "verweis"), Identical);
    EXPECT_EQ(refusal(tmp / "verweis", src), Identical);
    EXPECT_FALSE(exists(src + "/$$$Temp1$$$"));
}

TEST_F(Job_Start, RefusesNestedFoldersBothWays) {
    write_file(src + "/Archiv/a.txt", "a");
    EXPECT_EQ(refusal(src, src + "/Archiv"), Nested);
    EXPECT_EQ(refusal(src + "/Archiv", src), Nested);
    EXPECT_EQ(refusal(src, src + "/neu/tiefer"), Nested);  // would be made inside
    std::filesystem::create_directory_symlink(src, tmp / "verweis");
    EXPECT_EQ(refusal(src, tmp / "verweis/Archiv"), Nested);
    EXPECT_EQ(refusal(tmp / "verweis/Archiv", src), Nested);
    EXPECT_EQ(refusal("/", dst), Nested);
    EXPECT_FALSE(exists(src + "/neu"));
    // A bind mount of a source subfolder shares no ancestor with the source.
    make_folders(tmp / "bind");
    if (::mount((src + "/Archiv").c_str(), (tmp / "bind").c_str(), nullptr, MS_BIND, nullptr) == 0) {
        EXPECT_EQ(refusal(src, tmp / "bind"), Nested);
        EXPECT_EQ(refusal(src, tmp / "bind/neu"), Nested);
        EXPECT_EQ(refusal(tmp / "bind", src), Nested);
        ::umount((tmp / "bind").c_str());
    }
}

// A second run into a tree that a run is writing into, or (synchronising)
// out of, does not start; a run that only reads the tree is no obstacle.
TEST_F(Job_Start, ATreeInUseByAnotherRunIsRefused) {
    write_file(src + "/a.txt", "a");
    make_folders(dst);
    platform::Tree_Lock other_run(platform::real_file_system());
    ASSERT_TRUE(other_run.acquire(dst));
    EXPECT_EQ(refusal(src, dst), "Zielverzeichnis wird gerade von einer anderen Ausführung benutzt...");
    EXPECT_FALSE(exists(dst + "/a.txt"));
    other_run.release();

    ASSERT_TRUE(other_run.acquire(src));
    synchronize(true);
    EXPECT_EQ(refusal(src, dst), "Quellverzeichnis wird gerade von einer anderen Ausführung benutzt...");
    EXPECT_FALSE(exists(dst + "/a.txt"));
    synchronize(false);
    host.boxes.clear();
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_TRUE(exists(dst + "/a.txt"));
}

TEST_F(Job_Start, JudgesATargetWhoseDotsFollowALinkWhereTheCopyWritesIt) {
    // tmp/verweis/.. is tmp/weit/weg for the kernel but tmp by spelling,
    // and the walk writes by spelling: into the source itself.
    write_file(src + "/a.txt", "a");
    make_folders(tmp / "weit/weg/tief");
    ASSERT_EQ(::symlink((tmp / "weit/weg/tief").c_str(), (tmp / "verweis").c_str()), 0);
    EXPECT_EQ(refusal(src, tmp / "verweis/../quelle/kopie"), Nested);
    EXPECT_EQ(refusal(tmp / "verweis/../quelle", src), Identical);
    EXPECT_FALSE(exists(src + "/kopie"));
}

TEST_F(Job_Start, RefusesRelativeFolderTextsAndTheTilde) {
    const std::string message = "Bitte Quell- und Zielverzeichnis mit vollständigem Pfad angeben (beginnend mit /)...";
    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(::chdir(tmp.path().c_str()), 0);  // where both texts would lead
    EXPECT_EQ(refusal("quelle", dst), message);
    EXPECT_EQ(refusal(src, "ziel"), message);
    EXPECT_EQ(refusal(src, "~"), message);
    EXPECT_EQ(refusal("~/quelle", dst), message);
    ASSERT_EQ(::chdir(before), 0);
    EXPECT_FALSE(exists(tmp / "~"));
    EXPECT_FALSE(exists(dst));
    EXPECT_EQ(refusal("", dst), "Quellverzeichnis existiert nicht...");  // empty is no relative text
}

TEST_F(Job_Start, AcceptsAFolderWhoseNameOnlyBeginsLikeTheOther) {
    write_file(src + "/a.txt", "a");
    options.Targetfolder = src + "2";
    host.answer(Answer_Yes);
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(src + "2/a.txt"), "a");
}

TEST_F(Job_Start, AMissingTargetIsMadeOnlyAfterYes) {
    write_file(src + "/a.txt", "a");
    host.answer(Answer_No);
    job.Start_Click();
    ASSERT_EQ(prompts(), std::vector<std::string>{"Zielverzeichnis existiert nicht - soll es neu angelegt werden?"});
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_Yes_No);
    EXPECT_FALSE(exists(dst));
    EXPECT_TRUE(display.statuses.empty());
    EXPECT_EQ(display.runs_begun, 0);

    // A preview after Yes makes nothing, also of a synchronisation, whose
    // way back starts from the target the run would make.
    synchronize(true);
    std::vector<std::string> counted;
    host.answer(Answer_Yes);
    job.Preview_Click([&](const std::string& path) { counted.push_back(path); });
    EXPECT_EQ(prompts().size(), 2u) << prompts().back();
    EXPECT_EQ(counted, std::vector<std::string>{src + "/a.txt"});
    EXPECT_FALSE(exists(dst));
    synchronize(false);

    options.Targetfolder = dst + "/eins/zwei";
    host.answer(Answer_Yes);
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(dst + "/eins/zwei/a.txt"), "a");
    EXPECT_EQ(display.runs_begun, 2);  // the preview's and this one
}

TEST_F(Job_Start, AnEmptySourceIntoAMissingTargetNeedsNoTargetUnlessEmptyFoldersAreCopied) {
    EXPECT_EQ(start(), "0 Dateien erfolgreich verarbeitet");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(exists(dst));

    // The walk would make the empty target folder: the user is asked first.
    options.Copy_Empty_Folders = true;
    host.answer(Answer_No);
    job.Start_Click();
    EXPECT_EQ(prompts(), std::vector<std::string>{"Zielverzeichnis existiert nicht - soll es neu angelegt werden?"});
    EXPECT_FALSE(exists(dst));
    EXPECT_TRUE(!display.run_under_way);

    host.boxes.clear();
    host.answer(Answer_Yes);
    EXPECT_EQ(start(), "0 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(dst));
}

TEST_F(Job_Start, SynchronisingAnEmptySourceWithAMissingTargetReportsTheMissingFolder) {
    synchronize(true);
    host.answer(Answer_OK);
    EXPECT_EQ(start(), "0 Dateien erfolgreich synchronisiert");
    // One box, naming the target.
    EXPECT_EQ(prompts(), std::vector<std::string>{"Fehler bei der Verarbeitung von Verzeichnis:\r\n" + dst +
                                                  "\r\nNo such file or directory: " + dst + "\r\nZeile: 2"});
    EXPECT_FALSE(exists(dst));
}

TEST_F(Job_Start, ATargetThatCannotBeMadeIsReportedWithItsCause) {
    write_file(src + "/a.txt", "a");
    fs.fail(Fs_Operation::create_folder, dst, EACCES);
    host.answer(Answer_Yes).answer(Answer_OK);
    job.Start_Click();
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_TRUE(host.boxes[1].prompt.starts_with("Zielverzeichnis konnte nicht angelegt werden..."));
    EXPECT_NE(host.boxes[1].prompt.find("Permission denied"), std::string::npos);
    EXPECT_TRUE(!display.run_under_way);
    EXPECT_FALSE(display.cancel_shown);
}

TEST_F(Job_Start, CancelDuringTheFirstEvaluationCopiesNothingAndKeepsTheOldErrors) {
    write_file(src + "/a.txt", "a");
    make_folders(dst);
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO, 1);
    host.answer(support::Answer_Ignore).answer(Answer_No);
    EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien");
    host.on_events = [this] { state.Cancel_Requested = true; };
    EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien - Abbruch durch Benutzer");
    EXPECT_EQ(display.errors, std::vector<std::string>{src + "/a.txt"});
    EXPECT_FALSE(exists(dst + "/a.txt"));
    EXPECT_TRUE(!display.run_under_way);
    EXPECT_EQ(engine::Result_Of(state.Outcome), engine::Run_Result::Cancelled);
}

// A missing target is never made on an empty folder where a stick or a
// share is normally mounted but is not now: the backup would land on the
// disk below and keep the device from being mounted there.
TEST_F(Job_Start, AMissingTargetOnAnEmptyMountPointIsNeverMade) {
    write_file(src + "/a.txt", "a");
    make_folders(tmp / "media/benutzer");
    make_folders(tmp / "usb");
    write_file(tmp / "fstab",
               "# <file system> <mount point> <type>\nUUID=1234 /  ext4 defaults 0 1\n"
               "LABEL=STICK " +
                   (tmp / "usb") + " vfat noauto,user 0 0\n");
    job.Mount_Rules = {tmp / "fstab", {tmp / "media"}};
    const std::string message = "Der Datenträger des Zielverzeichnisses scheint nicht eingehängt zu sein:";
    for (const std::string& target :
         {tmp / "media/benutzer/STICK/Sicherung", tmp / "usb/Sicherung/heute", tmp / "usb"}) {
        SCOPED_TRACE(target);
        const std::string prompt = refusal(src, target);
        EXPECT_TRUE(prompt.starts_with(message)) << prompt;
        EXPECT_TRUE(prompt.ends_with("...")) << prompt;
        EXPECT_EQ(state.Outcome.refusal, engine::Refusal::Target_Not_Mounted);
        EXPECT_EQ(host.boxes[0].buttons, support::Buttons_OK);
    }
    EXPECT_FALSE(exists(tmp / "media/benutzer/STICK"));
    EXPECT_FALSE(exists(tmp / "usb/Sicherung"));

    // Something in the folder (an ordinary folder, or the device's own
    // files once it is mounted): the target is made as usual.
    write_file(tmp / "usb/.volume", "");
    host.boxes.clear();
    options.Targetfolder = tmp / "usb/Sicherung";
    host.answer(Answer_Yes);
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(tmp / "usb/Sicherung/a.txt"), "a");
    std::filesystem::remove_all(tmp / "usb");
    make_folders(tmp / "usb");

    // Mounted now: an empty file system is a fine target.
    if (::mount("zentrel-test", (tmp / "usb").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    host.answer(Answer_Yes);
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(tmp / "usb/Sicherung/a.txt"), "a");
    ::umount2((tmp / "usb").c_str(), MNT_DETACH);
}

// A target whose last run wrote onto a file system that the folders above
// it no longer lie on (a stick mounted on a folder of the user's own, now
// unplugged): never made there; one on the same file system is made.
TEST_F(Job_Start, AMissingTargetWhoseDeviceIsGoneIsNeverMade) {
    const char* const earlier = std::getenv("XDG_STATE_HOME");
    const std::string kept = earlier ? earlier : "";
    ::setenv("XDG_STATE_HOME", (tmp / "state").c_str(), 1);
    write_file(src + "/a.txt", "a");
    make_folders(dst);
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    const std::string here = platform::mount_of(dst).mount_point;
    EXPECT_EQ(platform::remembered_mount_point(dst), here);

    // The stick's mount point is gone, or an empty folder of its own.
    std::filesystem::remove_all(dst);
    make_folders(tmp / "stick");
    for (const std::string& stick : {std::string("/zentrel-stick-not-plugged-in"), tmp / "stick"}) {
        platform::remember_mount_point(dst, stick);
        const std::string prompt = refusal(src, dst);
        EXPECT_TRUE(prompt.starts_with("Der Datenträger des Zielverzeichnisses scheint nicht eingehängt zu sein:"))
            << prompt;
        EXPECT_NE(prompt.find(stick), std::string::npos) << prompt;
        EXPECT_EQ(state.Outcome.refusal, engine::Refusal::Target_Device_Missing);
        EXPECT_FALSE(exists(dst));
    }

    // A file system mounted now, though another than the target's last one
    // (the folder above moved to another disk): made as usual.
    platform::remember_mount_point(dst, "/");
    host.boxes.clear();
    host.answer(Answer_Yes);
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet");
    EXPECT_EQ(read_file(dst + "/a.txt"), "a");
    if (earlier)
        ::setenv("XDG_STATE_HOME", kept.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
}

TEST_F(Job_Start, CancelDuringTheFirstWalkSkipsTheSecondPass) {
    write_file(src + "/a.txt", "a");
    write_file(src + "/b.txt", "b");
    write_file(dst + "/z.txt", "z");
    synchronize(true);
    // The evaluation takes turns 1 to 4 (busy, a, b, idle); the walk's
    // third turn ends the first file.
    host.on_events = [this] {
        if (host.events_processed == 7) state.Cancel_Requested = true;
    };
    // The count is of the files handled before the cancel, not of the evaluation's total.
    EXPECT_EQ(start(), "1 Dateien erfolgreich verarbeitet - Abbruch durch Benutzer");
    EXPECT_TRUE(exists(dst + "/a.txt"));
    EXPECT_FALSE(exists(dst + "/b.txt"));
    EXPECT_FALSE(exists(src + "/z.txt"));
    EXPECT_FALSE(state.Reverse_Direction);
}

TEST_F(Job_Start, ErrorsOfBothPassesAreCountedInTheFinalText) {
    write_file(src + "/a.txt", "a");
    write_file(dst + "/b.txt", "b");
    synchronize(true);
    fs.fail(Fs_Operation::copy_file, src + "/a.txt", EIO);
    fs.fail(Fs_Operation::copy_file, dst + "/b.txt", EIO);
    host.answer(support::Answer_Ignore).answer(Answer_No);
    host.answer(support::Answer_Ignore).answer(Answer_No);
    EXPECT_EQ(start(), "Kopierfehler bei 2 Dateien");
    EXPECT_EQ(host.boxes.size(), 4u);
}

}  // namespace
}  // namespace zentrel::testing
