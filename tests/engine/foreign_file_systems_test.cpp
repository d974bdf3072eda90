// Whole runs onto and from the file systems of USB sticks, Windows disks and
// shares (FAT, exFAT, NTFS, ext2, sshfs, mounted the way a desktop mounts
// them for the user who plugged the stick in), beside the test folder's own
// file system: what each keeps, and that what it cannot keep fails no copy
// and never makes a second run copy again. Every run is the mount owner's,
// an ordinary user, who may not read the device the stick was mounted from.
// The same cases run over sticks held in memory (Memory_File_System), which
// need no mount and so run wherever the suite runs.
#include "job_fixture.h"

#include "common/memory_file_system.h"
#include "common/mounted_image.h"
#include "common/unprivileged.h"
#include "platform/file_objects.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <ostream>

namespace zentrel::testing {
namespace {

struct Target_Kind {
    std::optional<Image_Kind> image;  // none: the test folder's own file system
    bool keeps_attributes = true;     // read-only, hidden, system, archive
    bool holds_links = true;
    bool ignores_case = false;
    bool windows_names = false;           // refuses : * ? " < > | and the like
    std::optional<Memory_Volume> memory;  // a stick in memory; the whole tree then lies in memory
};

void PrintTo(const Target_Kind& kind, std::ostream* out) {
    if (kind.memory)
        *out << "an in-memory " << kind.memory->kind.name;
    else
        *out << (kind.image ? image_kind_name(*kind.image) : "the test folder's own file system");
}

std::string name_of(const ::testing::TestParamInfo<Target_Kind>& info) {
    if (info.param.memory) return "InMemory_" + info.param.memory->kind.name;
    if (!info.param.image) return "TestFolder";
    switch (*info.param.image) {
        case Image_Kind::Fat:
            return "Fusefat";
        case Image_Kind::Exfat:
            return "ExfatFuse";
        case Image_Kind::Ntfs:
            return "Ntfs3g";
        case Image_Kind::Kernel_Vfat:
            return "KernelVfat";
        case Image_Kind::Ext2_Small_Inodes:
            return "Ext2SmallInodes";
        case Image_Kind::Sshfs:
            return "Sshfs";
        case Image_Kind::Smbnetfs:
            return "Smbnetfs";
    }
    return "Unknown";
}

// Made before the job, which works through it.
struct Memory_Tree {
    Memory_File_System memory;
};

class Foreign_File_System : private Memory_Tree, public Job_Test, public ::testing::WithParamInterface<Target_Kind> {
protected:
    Foreign_File_System()
        : Job_Test(GetParam().memory ? static_cast<platform::File_System&>(memory) : platform::real_file_system()) {}

    void SetUp() override {
        if (GetParam().memory) {
            memory.make_folders(src);
            memory.make_folders(tmp / "stick");
            memory.mount(tmp / "stick", *GetParam().memory);
            target = tmp / "stick/ziel";
            memory.make_folders(target);
            options.Targetfolder = target;
            return;
        }
        if (GetParam().image) {
            std::string why_not;
            make_folders(tmp / "image");
            // The user's own folders, before a server started as the user
            // looks for them.
            Hand_Over(tmp.path());
            image = Mounted_Image::mount(*GetParam().image, tmp / "image", why_not);
            if (!image) GTEST_SKIP() << why_not;
            target = image->path() + "/ziel";
        } else {
            target = dst;
        }
        make_folders(target);
        make_folders(tmp / "cache");
        // Not through the mount: smbnetfs answers a change of owner with
        // an I/O error, and every call of the next seconds with one too.
        // The drivers give the user what is on them already; the kernel's
        // ext2 alone keeps owners, and gets one.
        ::lchown(tmp.path().c_str(), Unprivileged_Uid, Unprivileged_Gid);
        for (const std::string& folder : {src, dst, tmp / "cache"}) Hand_Over(folder);
        if (GetParam().image != Image_Kind::Smbnetfs) ::lchown(target.c_str(), Unprivileged_Uid, Unprivileged_Gid);
        options.Targetfolder = target;
    }

    // Runs body as the user who owns the mount, in a child process, with
    // the user's own cache folder; what it expects counts for this test.
    // Each call is a process of its own, as a run from the window and a dry
    // run from a terminal are.
    void as_owner(const std::function<void()>& body) {
        if (GetParam().memory) return body();  // nothing there is owned, nor shared with another process
        const std::string cache = tmp / "cache";
        const Unprivileged_Outcome outcome = Run_Unprivileged([&]() -> std::string {
            ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
            const ::testing::TestResult& result = *::testing::UnitTest::GetInstance()->current_test_info()->result();
            const int before = result.total_part_count();
            body();
            std::string failures;
            for (int i = before; i < result.total_part_count(); ++i) {
                const ::testing::TestPartResult& part = result.GetTestPartResult(i);
                if (part.failed())
                    failures += std::string(part.file_name() ? part.file_name() : "?") + ":" +
                                std::to_string(part.line_number()) + ": " + part.message() + "\n";
            }
            return failures;
        });
        if (outcome.skipped) GTEST_SKIP() << outcome.message;
        EXPECT_EQ(outcome.message, "");
    }

    // Copies from the target back into a fresh folder of the test folder's
    // file system.
    std::string copy_back() {
        const std::string back = tmp / "zurueck";
        make_folders(back);
        options.Sourcefolder = target;
        options.Targetfolder = back;
        EXPECT_EQ(start().find("Dateien erfolgreich verarbeitet") != std::string::npos, true) << display.status;
        return back;
    }
    void plug_in_memory_stick_again() { memory.plug_in_again(tmp / "stick"); }
    // Answers a copy error with Ignore and No: the next error asks again.
    void ignore_next_error() { host.answer(support::Answer_Ignore).answer(support::Answer_No); }

    // The files a dry run of the job lists.
    std::vector<std::string> dry_run() {
        std::vector<std::string> listed;
        job.Preview_Click([&](const std::string& path) { listed.push_back(path); });
        return listed;
    }

    // The tree helpers of temp_folder.h and job_fixture.h over the file
    // system the case runs on: these members hide the free ones in every
    // case below.
    platform::File_System& files() {
        return GetParam().memory ? static_cast<platform::File_System&>(memory) : platform::real_file_system();
    }
    void write_file(const std::string& path, const std::string& text) {
        GetParam().memory ? memory.write_file(path, text) : testing::write_file(path, text);
    }
    std::string read_file(const std::string& path) {
        return GetParam().memory ? memory.contents(path) : testing::read_file(path);
    }
    void make_folders(const std::string& path) {
        GetParam().memory ? memory.make_folders(path) : testing::make_folders(path);
    }
    void set_mtime(const std::string& path, long long seconds, long nanoseconds = 0) {
        GetParam().memory ? files().set_modified(path, {seconds, nanoseconds})
                          : testing::set_mtime(path, seconds, nanoseconds);
    }
    bool exists(const std::string& path) {
        return GetParam().memory ? files().status(path).has_value() : testing::exists(path);
    }
    platform::File_Time mtime_of(const std::string& path) {
        return GetParam().memory ? files().status(path).value().modified : testing::mtime_of(path);
    }
    std::vector<std::string> files_below(const std::string& root) {
        if (!GetParam().memory) return testing::files_below(root);
        std::vector<std::string> found;
        std::function<void(const std::string&)> walk = [&](const std::string& relative) {
            for (const platform::Folder_Entry& entry : memory.read_folder(root + relative)) {
                if (entry.kind == platform::Entry_Kind::Regular)
                    found.push_back((relative + "/" + entry.name).substr(1));
                if (entry.kind == platform::Entry_Kind::Directory) walk(relative + "/" + entry.name);
            }
        };
        walk("");
        std::sort(found.begin(), found.end());
        return found;
    }

    // A file with a hole before, between and after its data, as a disk
    // image or a database leaves them; in memory, its zeros are written.
    static constexpr off_t Sparse_Size = 1536 * 1024;
    void write_sparse(const std::string& path) {
        std::string content(Sparse_Size, '\0');
        content.replace(512 * 1024, 6, "middle");
        content.replace(1024 * 1024, 4, "tail");
        if (GetParam().memory) return write_file(path, content);
        write_file(path, "");
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "middle", 6, 512 * 1024), 6);
        ASSERT_EQ(::pwrite(fd, "tail", 4, 1024 * 1024), 4);
        ASSERT_EQ(::ftruncate(fd, Sparse_Size), 0);
        ::close(fd);
        ASSERT_EQ(read_file(path), content);
    }
    static off_t bytes_stored(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_blocks * 512 : -1;
    }
    // Whether a file only made longer takes no room in folder.
    static bool keeps_holes(const std::string& folder) {
        const std::string probe = folder + "/probe.img";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) return false;
        const bool holes = ::ftruncate(fd, Sparse_Size) == 0 && bytes_stored(probe) < Sparse_Size / 4;
        ::close(fd);
        ::unlink(probe.c_str());
        return holes;
    }

    std::unique_ptr<Mounted_Image> image;
    std::string target;
};

TEST_P(Foreign_File_System, CopiesWithTheTimeItKeepsAndASecondRunCopiesNothing) {
    as_owner([&] {
        write_file(src + "/a.txt", "alpha");
        write_file(src + "/Briefe/b.txt", "bravo");
        write_file(src + "/c.txt", std::string(100'000, 'c'));
        set_mtime(src + "/a.txt", 1'600'000'001, 123'456'789);  // an odd second: FAT keeps the even one below
        set_mtime(src + "/Briefe/b.txt", 1'500'000'000, 999'999'999);
        set_mtime(src + "/c.txt", 1'400'000'003, 0);
        write_sparse(src + "/d.img");

        EXPECT_EQ(start(), "4 Dateien erfolgreich verarbeitet");
        EXPECT_TRUE(host.boxes.empty());
        ASSERT_EQ(files_below(target), files_below(src));
        for (const std::string& name : files_below(src)) {
            EXPECT_EQ(read_file(target + "/" + name), read_file(src + "/" + name)) << name;
            // Never later than the source, and at most FAT's two seconds earlier.
            const auto copied = mtime_of(target + "/" + name), source = mtime_of(src + "/" + name);
            EXPECT_LE(copied, source) << name;
            EXPECT_GT(copied, (platform::File_Time{source.seconds - 2, source.nanoseconds})) << name;
        }
        // Its holes stay holes where the target has them, as with cp.
        if (!GetParam().memory && keeps_holes(target)) EXPECT_LT(bytes_stored(target + "/d.img"), Sparse_Size / 4);

        // Again, with any difference and with "only newer" files.
        EXPECT_EQ(start(), "4 Dateien erfolgreich verarbeitet");
        EXPECT_EQ(state.Source_Files, 0);
        EXPECT_EQ(state.Processed_Files, 0);
        options.Only_newer = true;
        start();
        EXPECT_EQ(state.Processed_Files, 0);
        // Nor in either direction when synchronising.
        options.Only_newer = false;
        synchronize(true);
        fs.reset_calls();
        start();
        EXPECT_EQ(fs.calls(Fs_Operation::copy_contents), 0);
        EXPECT_EQ(files_below(target), files_below(src));
        synchronize(false);
        options.Only_newer = false;  // the synchronisation sets it

        // A change within the same two seconds with another size is still seen.
        write_file(src + "/a.txt", "alpha, changed");
        set_mtime(src + "/a.txt", 1'600'000'001, 500'000'000);
        start();
        EXPECT_EQ(state.Processed_Files, 1);
        EXPECT_EQ(read_file(target + "/a.txt"), "alpha, changed");
    });
    // A dry run and an evaluation, each a process of its own started later,
    // compare as finely as the runs did.
    as_owner([&] {
        EXPECT_EQ(dry_run(), std::vector<std::string>{});
        job.Evaluate_Source_Click();
        EXPECT_EQ(state.Source_Files, 0);
        synchronize(true);
        EXPECT_EQ(dry_run(), std::vector<std::string>{});
    });
}

// Edits on both sides within one tick of the coarser clock (a stick's two
// seconds) differ in size: a conflict, and both versions stay on both sides.
TEST_P(Foreign_File_System, EditsOnBothSidesWithinOneTickAreAConflictAndBothStay) {
    as_owner([&] {
        for (const std::string& root : {src, target}) {
            write_file(root + "/a.txt", "alpha");
            set_mtime(root + "/a.txt", 1'600'000'000);
        }
        synchronize(true);
        EXPECT_NE(start().find("erfolgreich synchronisiert"), std::string::npos) << display.status;
        write_file(src + "/a.txt", "Fassung des Laptops");
        write_file(target + "/a.txt", "Stick");
        set_mtime(src + "/a.txt", 1'600'000'100, 600'000'000);
        set_mtime(target + "/a.txt", 1'600'000'100);
        start();
        EXPECT_EQ(state.Outcome.conflicts, 1) << display.status;
        EXPECT_EQ(files_below(target), files_below(src));
        ASSERT_EQ(files_below(src).size(), 2u);
        for (const std::string& root : {src, target}) {
            EXPECT_EQ(read_file(root + "/a.txt"), "Fassung des Laptops");
            EXPECT_EQ(read_file(root + "/" + files_below(src)[0]), "Stick") << files_below(src)[0];
        }
        fs.reset_calls();
        EXPECT_NE(start().find("erfolgreich synchronisiert"), std::string::npos) << display.status;
        EXPECT_EQ(fs.calls(Fs_Operation::copy_contents), 0);

        // The trash lies on the real file systems, out of the in-memory
        // stick's reach.
        if (GetParam().memory) return;
        // Deleted in the source: into the trash of the target's own file
        // system (at the top of a stick), never unlinked.
        ::setenv("XDG_DATA_HOME", (tmp / "data").c_str(), 1);
        std::filesystem::remove(src + "/a.txt");
        options.Sync_Deletions = true;
        start();
        options.Sync_Deletions = false;
        std::vector<std::string> trashed;
        std::vector<std::string> trashes{tmp / "data/Trash"};
        for (std::filesystem::path folder = target; folder.string().size() > tmp.path().size();
             folder = folder.parent_path())
            trashes.push_back(folder.string() + "/.Trash-" + std::to_string(::getuid()));
        for (const std::string& trash : trashes)
            if (exists(trash + "/files/a.txt")) trashed.push_back(trash + "/files/a.txt");
        if (exists(target + "/a.txt")) {
            // A file system without a trash of ours: it stays, and the error list says why.
            EXPECT_TRUE(trashed.empty());
            EXPECT_EQ(display.errors, std::vector<std::string>{target + "/a.txt"});
        } else {
            ASSERT_EQ(trashed.size(), 1u);
            EXPECT_EQ(read_file(trashed[0]), "Fassung des Laptops");
        }
    });
}

// A stick unplugged and plugged in again gets another device number, and
// FAT and exFAT make their inode numbers up anew: the pair is still known by
// its file system's identity and its place there, so edits on both sides
// are a conflict as before, not settled by the newer one. The mounted
// images are run by root, who may read the image, where udev's record of
// the stick (which a test machine may lack) tells it to its user; the
// in-memory sticks tell theirs through the file system.
TEST_P(Foreign_File_System, AStickPluggedInAgainIsKnownByItsRecord) {
    if (!image && !GetParam().memory) GTEST_SKIP() << "nothing to plug in again";
    for (const std::string& root : {src, target}) {
        write_file(root + "/a.txt", "alpha");
        set_mtime(root + "/a.txt", 1'600'000'000);
    }
    synchronize(true);
    EXPECT_NE(start().find("erfolgreich synchronisiert"), std::string::npos) << display.status;
    const auto before = files().status(target);
    std::string why_not;
    if (GetParam().memory)
        plug_in_memory_stick_again();
    else if (!image->remount(why_not))
        GTEST_SKIP() << why_not;
    const auto after = files().status(target);
    ASSERT_TRUE(before && after);
    // Where the kernel keeps neither, the case shows only that nothing else breaks the pair.
    if (before->device == after->device && before->inode == after->inode)
        std::cout << "plugged in again under the same device and inode\n";

    write_file(src + "/a.txt", "Fassung des Laptops");
    write_file(target + "/a.txt", "Stick");
    set_mtime(src + "/a.txt", 1'600'000'100);
    set_mtime(target + "/a.txt", 1'600'000'200);
    start();
    // sshfs tells no identity of its own, nor does fusefat name the image
    // it mounted: they start over.
    const bool known = GetParam().image != Image_Kind::Sshfs && GetParam().image != Image_Kind::Fat;
    EXPECT_EQ(state.Outcome.conflicts, known ? 1 : 0) << display.status;
    EXPECT_EQ(read_file(src + "/a.txt"), "Stick");
    EXPECT_EQ(files_below(src).size(), known ? 2u : 1u);
}

TEST_P(Foreign_File_System, AttributesTravelThereAndBackWhereItKeepsThem) {
    as_owner([&] {
        write_file(src + "/versteckt.txt", "hidden");
        write_file(src + "/schreibgeschuetzt.txt", "read-only");
        write_file(src + "/system.txt", "system");
        set_attributes(src + "/versteckt.txt", platform::Attribute_Hidden | platform::Attribute_Archive);
        set_attributes(src + "/schreibgeschuetzt.txt", platform::Attribute_Read_Only);
        set_attributes(src + "/system.txt", platform::Attribute_System | platform::Attribute_Archive);
        options.Copy_HiddenFiles = true;
        options.Copy_SysFiles = true;

        // Where the target cannot keep them, they are left behind and the copy
        // still succeeds.
        EXPECT_EQ(start(), "3 Dateien erfolgreich verarbeitet");
        EXPECT_TRUE(host.boxes.empty());
        const int mask = platform::Attribute_Read_Only | platform::Attribute_Hidden | platform::Attribute_System |
                         platform::Attribute_Archive;
        if (GetParam().keeps_attributes) {
            EXPECT_EQ(attributes(target + "/versteckt.txt") & mask,
                      platform::Attribute_Hidden | platform::Attribute_Archive);
            EXPECT_EQ(attributes(target + "/schreibgeschuetzt.txt") & mask, platform::Attribute_Read_Only);
            EXPECT_EQ(attributes(target + "/system.txt") & mask,
                      platform::Attribute_System | platform::Attribute_Archive);
        }
        // NTFS holds them in its own attributes; Windows would show anything
        // more as streams of the files.
        if (GetParam().image == Image_Kind::Ntfs) {
            for (const char* name : {"versteckt.txt", "schreibgeschuetzt.txt", "system.txt"})
                EXPECT_EQ(::listxattr((target + "/" + name).c_str(), nullptr, 0), 0) << name;
        }

        const std::string back = copy_back();
        EXPECT_EQ(read_file(back + "/versteckt.txt"), "hidden");
        if (GetParam().keeps_attributes) {
            for (const char* name : {"versteckt.txt", "schreibgeschuetzt.txt", "system.txt"})
                EXPECT_EQ(attributes(back + "/" + name) & mask, attributes(src + "/" + name) & mask) << name;
        }
    });
}

TEST_P(Foreign_File_System, ALinkIsCopiedAsALinkOrReportedWithTheReason) {
    as_owner([&] {
        write_file(src + "/Briefe/a.txt", "alpha");
        set_mtime(src + "/Briefe/a.txt", 1'600'000'001, 123'456'789);
        files().create_link("a.txt", src + "/Briefe/verweis");
        if (!GetParam().holds_links) {
            ignore_next_error();
            EXPECT_EQ(start(), "Kopierfehler bei 1 Dateien");
            EXPECT_EQ(read_file(target + "/Briefe/a.txt"), "alpha");
            EXPECT_EQ(display.errors, std::vector<std::string>{src + "/Briefe/verweis"});
            ASSERT_FALSE(host.boxes.empty());
            EXPECT_NE(host.boxes[0].prompt.find("kann keine symbolischen Verknüpfungen speichern"), std::string::npos)
                << host.boxes[0].prompt;
            EXPECT_FALSE(exists(target + "/Briefe/verweis"));
            return;
        }
        // The first entry a run meets in the target, a link leading to
        // another file system: the target keeps times as its own device
        // does, not as what the link leads to.
        files().create_link(src + "/Briefe/a.txt", src + "/verweis-nach-aussen");
        EXPECT_EQ(start(), "3 Dateien erfolgreich verarbeitet");
        EXPECT_EQ(read_file(target + "/Briefe/a.txt"), "alpha");
        EXPECT_EQ(files().read_link(target + "/Briefe/verweis"), "a.txt");
        // A link's copy never passes a time on to what it leads to: not to
        // the file beside it in the target, nor to the source the absolute
        // link names.
        EXPECT_EQ(mtime_of(src + "/Briefe/a.txt").seconds, 1'600'000'001);
        EXPECT_EQ(mtime_of(target + "/Briefe/a.txt").seconds, 1'600'000'001);
    });
    // A run started later, by a process that has not met the target before.
    if (GetParam().holds_links)
        as_owner([&] {
            start();
            EXPECT_EQ(state.Processed_Files, 0);
        });
}

// Also two files alike in content and time, which a later run finds
// unchanged against the one copy: the collision is reported all the same.
TEST_P(Foreign_File_System, NamesDifferingOnlyInCaseStayOneFileRunAfterRun) {
    as_owner([&] {
        write_file(src + "/Bericht.txt", "the first");
        write_file(src + "/bericht.txt", "the second, longer");
        write_file(src + "/Daten/a.txt", "in the first folder");
        write_file(src + "/daten/a.txt", "in the second folder, longer");
        write_file(src + "/Notiz.txt", "alike");
        write_file(src + "/notiz.txt", "alike");
        set_mtime(src + "/Notiz.txt", 1'700'000'000);
        set_mtime(src + "/notiz.txt", 1'700'000'000);
        if (!GetParam().ignores_case) {
            EXPECT_EQ(start(), "6 Dateien erfolgreich verarbeitet");
            EXPECT_EQ(read_file(target + "/bericht.txt"), "the second, longer");
            EXPECT_EQ(read_file(target + "/daten/a.txt"), "in the second folder, longer");
            return;
        }
        for (int run = 0; run < 2; ++run) {
            for (int error = 0; error < 3; ++error) ignore_next_error();
            EXPECT_EQ(start(), "Kopierfehler bei 3 Dateien") << "run " << run;
            EXPECT_EQ(display.errors,
                      (std::vector<std::string>{src + "/bericht.txt", src + "/notiz.txt", src + "/daten/a.txt"}));
            EXPECT_EQ(read_file(target + "/Bericht.txt"), "the first");
            EXPECT_EQ(read_file(target + "/Daten/a.txt"), "in the first folder");
        }
        const auto shown = prompts();
        ASSERT_EQ(shown.size(), 12u);
        EXPECT_NE(shown[0].find("\"Bericht.txt\""), std::string::npos) << shown[0];
        EXPECT_NE(shown[4].find("\"Daten\""), std::string::npos) << shown[4];
        EXPECT_EQ(files_below(target), (std::vector<std::string>{"Bericht.txt", "Daten/a.txt", "Notiz.txt"}));

        // Nor when synchronising: neither side gets the other's spelling.
        synchronize(true);
        for (int error = 0; error < 3; ++error) ignore_next_error();
        EXPECT_EQ(start(), "Kopierfehler bei 3 Dateien");
        EXPECT_EQ(files_below(target), (std::vector<std::string>{"Bericht.txt", "Daten/a.txt", "Notiz.txt"}));
        EXPECT_EQ(files_below(src), (std::vector<std::string>{"Bericht.txt", "Daten/a.txt", "Notiz.txt", "bericht.txt",
                                                              "daten/a.txt", "notiz.txt"}));
    });
}

TEST_P(Foreign_File_System, ANameInAnotherCaseInTheTargetIsTheSameFile) {
    if (!GetParam().ignores_case) GTEST_SKIP() << "the target tells names apart by case";
    as_owner([&] {
        write_file(src + "/Bericht.txt", "report");
        write_file(target + "/BERICHT.TXT", "report");
        write_file(src + "/ordner/Notiz.txt", "the newer note");
        write_file(target + "/Ordner/NOTIZ.TXT", "the older note");
        set_mtime(src + "/Bericht.txt", 1'600'000'000);
        set_mtime(target + "/BERICHT.TXT", 1'600'000'000);
        set_mtime(src + "/ordner/Notiz.txt", 1'600'000'000);
        set_mtime(target + "/Ordner/NOTIZ.TXT", 1'500'000'000);

        synchronize(true);
        for (int run = 0; run < 2; ++run) {
            EXPECT_NE(start().find("erfolgreich synchronisiert"), std::string::npos) << display.status;
            EXPECT_TRUE(host.boxes.empty());
            EXPECT_EQ(files_below(src), (std::vector<std::string>{"Bericht.txt", "ordner/Notiz.txt"}));
            EXPECT_EQ(files_below(target), (std::vector<std::string>{"BERICHT.TXT", "Ordner/NOTIZ.TXT"}));
            EXPECT_EQ(read_file(target + "/Ordner/NOTIZ.TXT"), "the newer note");
            // Nothing came back by the second pass.
            EXPECT_EQ(state.Processed_Files, 0) << "run " << run;
        }
    });
}

TEST_P(Foreign_File_System, ANameTheTargetRefusesIsReportedAndTheRunGoesOn) {
    as_owner([&] {
        const std::vector<std::string> refused{"frage?.txt", "punkt.", "nul.txt"};
        for (const std::string& name : refused) write_file(src + "/" + name, name);
        write_file(src + "/gut.txt", "good");
        write_file(src + "/Ordner?/innen.txt", "inside");
        if (!GetParam().windows_names) {
            EXPECT_EQ(start(), "5 Dateien erfolgreich verarbeitet");
            return;
        }
        for (std::size_t i = 0; i <= refused.size(); ++i) ignore_next_error();
        EXPECT_EQ(start(), "Kopierfehler bei 4 Dateien");
        EXPECT_EQ(read_file(target + "/gut.txt"), "good");
        EXPECT_EQ(files_below(target), std::vector<std::string>{"gut.txt"});
        const auto shown = prompts();
        ASSERT_EQ(shown.size(), 8u);
        EXPECT_NE(shown[0].find("Zeichen"), std::string::npos) << shown[0];  // "frage?.txt"
        EXPECT_NE(shown[2].find("nul.txt"), std::string::npos) << shown[2];
        EXPECT_NE(shown[2].find("Gerät"), std::string::npos) << shown[2];
        EXPECT_NE(shown[4].find("Punkt"), std::string::npos) << shown[4];
        // A folder's name too: the folder is the file's failure.
        EXPECT_NE(shown[6].find("Konnte Zielverzeichnis nicht erstellen"), std::string::npos) << shown[6];
        EXPECT_NE(shown[6].find("Zeichen"), std::string::npos) << shown[6];
    });
}

TEST_P(Foreign_File_System, TheArchiveResetOnItHoldsUntilAFileChanges) {
    if (!GetParam().keeps_attributes)
        GTEST_SKIP() << (GetParam().image ? image_kind_name(*GetParam().image) : "") << " keeps no archive bit";
    as_owner([&] {
        // The stick is the source now.
        write_file(target + "/a.txt", "alpha");
        write_file(target + "/b.txt", "bravo");
        const std::string back = tmp / "zurueck";
        make_folders(back);
        options.Sourcefolder = target;
        options.Targetfolder = back;
        options.Only_Archive = true;
        options.Reset_Archive = true;

        EXPECT_EQ(start(), "2 Dateien erfolgreich verarbeitet");
        EXPECT_EQ(state.Processed_Files, 2);
        EXPECT_FALSE(attributes(target + "/a.txt") & platform::Attribute_Archive);
        // NTFS sets the bit itself when a file is written; a record of ours
        // would show in Windows as a stream of the file.
        if (GetParam().image == Image_Kind::Ntfs) {
            EXPECT_LT(::getxattr((target + "/a.txt").c_str(), "user.zentrel.archive_mtime", nullptr, 0), 0);
        }
        start();
        EXPECT_EQ(state.Processed_Files, 0);

        write_file(target + "/b.txt", "bravo, changed");
        set_mtime(target + "/b.txt", 1'700'000'000);
        start();
        EXPECT_EQ(state.Processed_Files, 1);
        EXPECT_EQ(read_file(back + "/b.txt"), "bravo, changed");
        EXPECT_TRUE(host.boxes.empty());
    });
}

// A folder that answers with an I/O error (a share whose server went away)
// is said to be unreachable, never to be missing and to be made anew.
TEST_F(Job_Test, AnUnreachableFolderIsNotCalledMissing) {
    fs.fail(Fs_Operation::status, dst, EIO);
    make_folders(dst);
    write_file(src + "/a.txt", "alpha");
    host.answer(support::Answer_OK).answer(support::Answer_OK);
    start();
    ASSERT_EQ(prompts().size(), 1u);
    EXPECT_NE(prompts()[0].find("Zielverzeichnis ist nicht erreichbar"), std::string::npos) << prompts()[0];
    fs.clear();
    fs.fail(Fs_Operation::status, src, EIO);
    start();
    ASSERT_EQ(prompts().size(), 2u);
    EXPECT_NE(prompts()[1].find("Quellverzeichnis ist nicht erreichbar"), std::string::npos) << prompts()[1];
    EXPECT_FALSE(exists(dst + "/a.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, Foreign_File_System,
    ::testing::Values(Target_Kind{std::nullopt, true, true, false, false, std::nullopt},
                      Target_Kind{Image_Kind::Fat, false, false, true, true, std::nullopt},
                      Target_Kind{Image_Kind::Exfat, false, false, true, true, std::nullopt},
                      Target_Kind{Image_Kind::Ntfs, true, true, true, true, std::nullopt},
                      Target_Kind{Image_Kind::Kernel_Vfat, true, false, true, true, std::nullopt},
                      Target_Kind{Image_Kind::Ext2_Small_Inodes, true, true, false, false, std::nullopt},
                      Target_Kind{Image_Kind::Sshfs, false, true, false, false, std::nullopt},
                      Target_Kind{Image_Kind::Smbnetfs, false, false, true, true, std::nullopt},
                      Target_Kind{std::nullopt, false, false, true, true, Memory_Volume::fat()},
                      Target_Kind{std::nullopt, true, true, false, false, Memory_Volume::whole_seconds()}),
    name_of);

}  // namespace
}  // namespace zentrel::testing
