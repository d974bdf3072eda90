#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/refused_calls.h"
#include "common/stepwise_file_system.h"
#include "common/temp_folder.h"
#include "common/unprivileged.h"
#include "platform/confined_paths.h"
#include "platform/file_system.h"
#include "platform/folder_handles.h"

namespace zentrel::platform {
namespace {

using testing::exists;
using testing::make_folders;
using testing::read_file;
using testing::Temp_Folder;
using testing::write_file;

// Names a file system has to take as they are: blanks, umlauts (UTF-8), a
// newline, and bytes that are no UTF-8 at all.
const std::string Awkward_Names[] = {"mit Leerzeichen .txt", "Grüße Ä.txt", "zwei\nZeilen", "latin1-\xe4\xfc\xff"};

std::vector<std::string> sorted_names(const std::vector<Folder_Entry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

Entry_Kind kind_in(const std::vector<Folder_Entry>& entries, const std::string& name) {
    for (const auto& entry : entries)
        if (entry.name == name) return entry.kind;
    ADD_FAILURE() << "no entry " << name;
    return Entry_Kind::Other;
}

class Posix_File_System_Test : public ::testing::Test {
protected:
    Temp_Folder tmp;
    File_System& fs = real_file_system();
};

TEST_F(Posix_File_System_Test, StatusTellsKindsAndNothingForMissing) {
    write_file(tmp / "f", "12345");
    make_folders(tmp / "d");
    ASSERT_EQ(::symlink("d", (tmp / "l").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "p").c_str(), 0600), 0);
    testing::set_mtime(tmp / "f", 1700000000, 123456789);

    auto file = fs.status(tmp / "f");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->kind, Entry_Kind::Regular);
    EXPECT_EQ(file->size, 5u);
    EXPECT_EQ(file->modified, (File_Time{1700000000, 123456789}));
    EXPECT_EQ(fs.status(tmp / "d")->kind, Entry_Kind::Directory);
    EXPECT_EQ(fs.status(tmp / "l")->kind, Entry_Kind::Symlink);  // not followed
    EXPECT_EQ(fs.status(tmp / "p")->kind, Entry_Kind::Other);
    EXPECT_FALSE(fs.status(tmp / "missing"));
    EXPECT_FALSE(fs.status(tmp / "f/below"));  // ENOTDIR is "nothing" too
}

int open_descriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

TEST_F(Posix_File_System_Test, HeldFoldersAnswerAsPathsWouldAndLetGo) {
    write_file(tmp / "d/f", "12345");
    write_file(tmp / "file", "x");
    ASSERT_EQ(::symlink("d", (tmp / "l").c_str()), 0);
    const int before = open_descriptors();
    {
        Folder_Hold held(fs);
        Folder_Hold nested(fs);
        ASSERT_TRUE(fs.status(tmp / "d/f"));
        EXPECT_EQ(fs.status(tmp / "d/f")->size, 5u);
        EXPECT_EQ(fs.status(tmp / "l/f")->size, 5u);  // a link above the name is followed
        EXPECT_EQ(fs.status(tmp / "l")->kind, Entry_Kind::Symlink);
        EXPECT_FALSE(fs.status(tmp / "d/missing"));
        EXPECT_FALSE(fs.status(tmp / "gone/f"));
        EXPECT_FALSE(fs.status(tmp / "file/below"));

        // Renamed here: seen at once, also for a folder above a kept one.
        fs.rename(tmp / "d", tmp / "e", false);
        EXPECT_FALSE(fs.status(tmp / "d/f"));
        EXPECT_FALSE(fs.status(tmp / "l/f"));
        EXPECT_EQ(fs.status(tmp / "e/f")->size, 5u);

        // So is a renamed link that led to a kept folder.
        ASSERT_EQ(::symlink("e", (tmp / "m").c_str()), 0);
        EXPECT_EQ(fs.status(tmp / "m/f")->size, 5u);
        fs.rename(tmp / "m", tmp / "n", false);
        EXPECT_FALSE(fs.status(tmp / "m/f"));
        EXPECT_EQ(fs.status(tmp / "n/f")->size, 5u);

        // Changed by another program: seen once the kept handle expires.
        make_folders(tmp / "d");
        ASSERT_FALSE(fs.status(tmp / "d/f"));
        std::filesystem::remove(tmp / "d");
        std::filesystem::rename(tmp / "e", tmp / "d");
        std::this_thread::sleep_for(Folder_Handles::Lifetime + std::chrono::milliseconds(20));
        EXPECT_EQ(fs.status(tmp / "d/f")->size, 5u);
        EXPECT_FALSE(fs.status(tmp / "e/f"));
    }
    // A run that has ended keeps no folder in use.
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(fs.status(tmp / "d/f")->size, 5u);
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(Posix_File_System_Test, HeldFoldersOutOfDescriptorsStillAnswer) {
    write_file(tmp / "d/f", "12345");
    Folder_Hold held(fs);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit none = before;
    // The next descriptor would be the lowest free one: no open succeeds.
    const int lowest_free = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowest_free, 0);
    ::close(lowest_free);
    none.rlim_cur = static_cast<rlim_t>(lowest_free);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    std::optional<Entry_Status> status, missing;
    std::string failure;
    try {
        status = fs.status(tmp / "d/f");
        missing = fs.status(tmp / "d/missing");
    } catch (const File_System_Error& error) {
        failure = error.what();
    }
    ::setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(failure, "");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->size, 5u);
    EXPECT_FALSE(missing);
}

TEST_F(Posix_File_System_Test, ReadFolderGivesEveryNameAndKind) {
    for (const auto& name : Awkward_Names) write_file(tmp / name, name);
    make_folders(tmp / "sub");
    ASSERT_EQ(::symlink("sub", (tmp / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);

    auto entries = fs.read_folder(tmp.path());
    std::vector<std::string> expected(std::begin(Awkward_Names), std::end(Awkward_Names));
    expected.insert(expected.end(), {"sub", "link", "pipe"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted_names(entries), expected);
    for (const auto& name : Awkward_Names) EXPECT_EQ(kind_in(entries, name), Entry_Kind::Regular);
    EXPECT_EQ(kind_in(entries, "sub"), Entry_Kind::Directory);
    EXPECT_EQ(kind_in(entries, "link"), Entry_Kind::Symlink);
    EXPECT_EQ(kind_in(entries, "pipe"), Entry_Kind::Other);

    EXPECT_THROW(fs.read_folder(tmp / "missing"), File_System_Error);
    EXPECT_THROW(fs.read_folder(tmp / "link/../missing"), File_System_Error);
}

TEST_F(Posix_File_System_Test, FailuresCarryErrnoAndPath) {
    try {
        fs.read_folder(tmp / "missing");
        FAIL() << "no exception";
    } catch (const File_System_Error& error) {
        EXPECT_EQ(error.error_number(), ENOENT);
        EXPECT_EQ(error.path(), tmp / "missing");
        EXPECT_EQ(std::string(error.what()), std::string(std::strerror(ENOENT)) + ": " + tmp / "missing");
    }
    make_folders(tmp / "d");
    try {
        fs.create_folder(tmp / "d");
        FAIL() << "no exception";
    } catch (const File_System_Error& error) {
        EXPECT_EQ(error.error_number(), EEXIST);
    }
}

// By path, and confined to a tree, where a rename within one folder goes
// through one opening of it.
// Also where the file system has no RENAME_NOREPLACE (the kernel answers
// EINVAL): a file is linked under its new name and the old name removed.
TEST_F(Posix_File_System_Test, RenameWithoutReplaceNeverReplaces) {
    auto check = [&](const std::string& base) {
        for (const bool confine : {false, true}) {
            SCOPED_TRACE(confine ? "confined" : "by path");
            auto made = make_posix_file_system();
            File_System& own = *made;
            const std::string root = base + (confine ? "/confined" : "/by-path");
            write_file(root + "/a", "A");
            write_file(root + "/b", "B");
            std::optional<Confinement> confined;
            if (confine) confined.emplace(own, std::vector<std::string>{root});
            try {
                own.rename(root + "/a", root + "/b", false);
                FAIL() << "no exception";
            } catch (const File_System_Error& error) {
                EXPECT_EQ(error.error_number(), EEXIST);
            }
            EXPECT_EQ(read_file(root + "/a"), "A");
            EXPECT_EQ(read_file(root + "/b"), "B");

            // A dangling link is something too.
            ASSERT_EQ(::symlink("nowhere", (root + "/l").c_str()), 0);
            EXPECT_THROW(own.rename(root + "/a", root + "/l", false), File_System_Error);
            EXPECT_EQ(read_file(root + "/a"), "A");

            own.rename(root + "/a", root + "/c", false);
            EXPECT_FALSE(exists(root + "/a"));
            EXPECT_EQ(read_file(root + "/c"), "A");

            own.rename(root + "/c", root + "/b", true);
            EXPECT_EQ(read_file(root + "/b"), "A");
            EXPECT_FALSE(exists(root + "/c"));

            // A link is renamed itself, not what it points to.
            own.rename(root + "/l", root + "/m", false);
            EXPECT_EQ(own.read_link(root + "/m"), "nowhere");

            // Into a subfolder and back.
            make_folders(root + "/sub");
            own.rename(root + "/b", root + "/sub/b", false);
            own.rename(root + "/sub/b", root + "/b2", false);
            EXPECT_EQ(read_file(root + "/b2"), "A");
        }
    };
    for (const bool noreplace : {true, false}) {
        SCOPED_TRACE(noreplace ? "RENAME_NOREPLACE" : "no RENAME_NOREPLACE");
        auto refuse = [&] {
            return noreplace ? std::string() : testing::refuse_calls({{SYS_renameat2, EINVAL, 4, RENAME_NOREPLACE}});
        };
        // The expectations fail in the child and are reported there.
        const auto outcome = testing::Run_In_Child(refuse, [&]() -> std::string {
            check(tmp / (noreplace ? "noreplace" : "fallback"));
            return ::testing::Test::HasFailure() ? "failed in the child (above)" : "";
        });
        if (outcome.skipped) GTEST_SKIP() << outcome.message;
        EXPECT_EQ(outcome.message, "");
    }
}

TEST_F(Posix_File_System_Test, CopyContentsMakesANewFileWithTheMode) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
    write_file(tmp / "big", big);
    fs.copy_contents(tmp / "big", tmp / "copy", 0640);
    EXPECT_EQ(read_file(tmp / "copy"), big);
    EXPECT_EQ(fs.status(tmp / "copy")->mode, 0640u);

    write_file(tmp / "empty", "");
    fs.copy_contents(tmp / "empty", tmp / "empty-copy", 0444);
    EXPECT_EQ(read_file(tmp / "empty-copy"), "");
    EXPECT_EQ(fs.status(tmp / "empty-copy")->mode, 0444u);

    // Never onto an existing name, and never through a link.
    write_file(tmp / "taken", "old");
    EXPECT_THROW(fs.copy_contents(tmp / "big", tmp / "taken", 0644), File_System_Error);
    EXPECT_EQ(read_file(tmp / "taken"), "old");
    ASSERT_EQ(::symlink("elsewhere", (tmp / "dangling").c_str()), 0);
    EXPECT_THROW(fs.copy_contents(tmp / "big", tmp / "dangling", 0644), File_System_Error);
    EXPECT_FALSE(exists(tmp / "elsewhere"));
}

TEST_F(Posix_File_System_Test, CopyContentsRefusesSpecialFilesWithoutBlocking) {
    // Nobody ever writes to this pipe: an open() for reading without
    // O_NONBLOCK, or a read, would wait for ever.
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);
    EXPECT_THROW(fs.copy_contents(tmp / "pipe", tmp / "copy", 0644), File_System_Error);
    EXPECT_FALSE(exists(tmp / "copy"));

    EXPECT_THROW(fs.copy_contents("/dev/zero", tmp / "zero", 0644), File_System_Error);
    EXPECT_FALSE(exists(tmp / "zero"));

    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socket_path = tmp / "sock";
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_THROW(fs.copy_contents(socket_path, tmp / "sock-copy", 0644), File_System_Error);
    ::close(sock);

    // A link is not read through.
    write_file(tmp / "real", "x");
    ASSERT_EQ(::symlink("real", (tmp / "link").c_str()), 0);
    EXPECT_THROW(fs.copy_contents(tmp / "link", tmp / "link-copy", 0644), File_System_Error);
    EXPECT_FALSE(exists(tmp / "link-copy"));
}

TEST_F(Posix_File_System_Test, ModificationTimeToTheNanosecondAlsoOnLinks) {
    write_file(tmp / "f", "x");
    fs.set_modified(tmp / "f", {1234567890, 987654321});
    EXPECT_EQ(fs.status(tmp / "f")->modified, (File_Time{1234567890, 987654321}));

    ASSERT_EQ(::symlink("f", (tmp / "l").c_str()), 0);
    fs.set_modified(tmp / "l", {1000000000, 5});
    EXPECT_EQ(fs.status(tmp / "l")->modified, (File_Time{1000000000, 5}));
    EXPECT_EQ(fs.status(tmp / "f")->modified, (File_Time{1234567890, 987654321}));
}

// By path, and confined to a tree, where the attributes are read relative
// to the entry's folder.
TEST_F(Posix_File_System_Test, ExtendedAttributesRoundTripBinaryValues) {
    for (const bool confine : {false, true}) {
        SCOPED_TRACE(confine ? "confined" : "by path");
        auto made = make_posix_file_system();
        File_System& own = *made;
        const std::string root = tmp / (confine ? "confined" : "by-path");
        write_file(root + "/f", "x");
        std::optional<Confinement> confined;
        if (confine) confined.emplace(own, std::vector<std::string>{root});
        const std::string f = root + "/f";
        EXPECT_FALSE(own.get_attribute(f, "user.test"));
        std::string binary("\0\x01\xff zwei", 7);
        own.set_attribute(f, "user.test", binary);
        EXPECT_EQ(own.get_attribute(f, "user.test"), binary);
        std::string large(3000, 'x');  // beyond the first guess at a size, within ext4's block
        own.set_attribute(f, "user.large", large);
        EXPECT_EQ(own.get_attribute(f, "user.large"), large);

        own.remove_attribute(f, "user.test");
        EXPECT_FALSE(own.get_attribute(f, "user.test"));
        EXPECT_NO_THROW(own.remove_attribute(f, "user.test"));
        EXPECT_THROW(own.set_attribute(root + "/missing", "user.test", "v"), File_System_Error);
        EXPECT_THROW(own.get_attribute(root + "/missing", "user.test"), File_System_Error);

        // A link has no user attributes of its own, and reading them must not
        // follow it to the file.
        ASSERT_EQ(::symlink("f", (root + "/l").c_str()), 0);
        EXPECT_FALSE(own.get_attribute(root + "/l", "user.large"));
    }
}

// copy_file works on the open files; it must leave what the default, one
// path operation after another, leaves.
TEST_F(Posix_File_System_Test, CopyFileCarriesContentModeTimeAndTheNamedAttributes) {
    std::string content(300000, 'x');
    content[7] = '\0';
    write_file(tmp / "src", content);
    testing::set_mtime(tmp / "src", 1600000000, 123456789);
    fs.set_attribute(tmp / "src", "user.DOSATTRIB", std::string("0x6\0", 4));
    fs.set_attribute(tmp / "src", "user.other", "stays behind");
    ::chmod((tmp / "src").c_str(), 0444);  // read-only: attributes go in before the mode

    testing::Stepwise_File_System stepwise(fs);
    const std::vector<std::string> names{"user.DOSATTRIB", "user.zentrel.archive_mtime"};
    for (auto* copier : {&fs, static_cast<File_System*>(&stepwise)}) {
        const std::string to = tmp / (copier == &fs ? "direct" : "stepwise");
        Entry_Status source = copier->copy_file(tmp / "src", to, names);
        EXPECT_EQ(source.size, content.size());
        EXPECT_EQ(source.modified, (File_Time{1600000000, 123456789}));
        EXPECT_EQ(read_file(to), content);
        auto copy = fs.status(to);
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->mode, 0444u);
        EXPECT_EQ(copy->modified, (File_Time{1600000000, 123456789}));
        EXPECT_EQ(fs.get_attribute(to, "user.DOSATTRIB"), std::string("0x6\0", 4));
        EXPECT_EQ(fs.get_attribute(to, "user.zentrel.archive_mtime"), std::nullopt);
        EXPECT_EQ(fs.get_attribute(to, "user.other"), std::nullopt);
    }

    // A target that keeps no modes (FAT answers EPERM) or no extended
    // attributes (FUSE drivers answer ENOSYS, others EOPNOTSUPP) still gets
    // the whole file with its time; so does an ordinary user copying a
    // read-only file whose attributes go with it.
    struct Case {
        const char* what;
        std::function<std::string()> setup;
    };
    auto refusing = [](int no_attributes) {
        return [no_attributes] {
            std::vector<testing::Refused_Call> calls{{SYS_fchmod, EPERM}, {SYS_fchmodat, EPERM}};
            for (long call : {SYS_fsetxattr, SYS_setxattr, SYS_lsetxattr}) calls.push_back({call, no_attributes});
            return testing::refuse_calls(calls);
        };
    };
    const Case cases[] = {
        {"no modes, no attributes (ENOSYS)", refusing(ENOSYS)},
        {"no modes, no attributes (EOPNOTSUPP)", refusing(EOPNOTSUPP)},
        {"an ordinary user", [] { return testing::Become_Unprivileged(); }},
    };
    testing::Hand_Over(tmp.path());
    for (const Case& limited : cases) {
        SCOPED_TRACE(limited.what);
        const Temp_Folder into;
        testing::Hand_Over(into.path());
        const auto outcome = testing::Run_In_Child(limited.setup, [&]() -> std::string {
            for (auto* copier : {&fs, static_cast<File_System*>(&stepwise)}) {
                const std::string to = into / (copier == &fs ? "direct" : "stepwise");
                copier->copy_file(tmp / "src", to, names);
                if (read_file(to) != content) return to + " is not whole";
                const auto copy = fs.status(to);
                if (!copy || copy->modified != File_Time{1600000000, 123456789}) return to + " lost its time";
            }
            return "";
        });
        if (outcome.skipped) GTEST_SKIP() << outcome.message;
        EXPECT_EQ(outcome.message, "");
    }

    // What is no regular file is never opened for its data.
    make_folders(tmp / "d");
    ASSERT_EQ(::symlink("src", (tmp / "l").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "p").c_str(), 0600), 0);
    for (auto* copier : {&fs, static_cast<File_System*>(&stepwise)}) {
        auto error_of = [&](const std::string& from) {
            try {
                copier->copy_file(from, tmp / "out", names);
            } catch (const File_System_Error& error) {
                EXPECT_EQ(error.path(), from);
                ::unlink((tmp / "out").c_str());
                return error.error_number();
            }
            ADD_FAILURE() << from << " was copied";
            return 0;
        };
        EXPECT_EQ(error_of(tmp / "l"), ELOOP);
        EXPECT_EQ(error_of(tmp / "d"), EISDIR);
        EXPECT_EQ(error_of(tmp / "p"), 0);  // described, no errno
        EXPECT_EQ(error_of(tmp / "missing"), ENOENT);
    }
}

TEST_F(Posix_File_System_Test, AttributesInAFolderAreThoseOfEachPath) {
    write_file(tmp / "plain", "a");
    write_file(tmp / "marked", "b");
    fs.set_attribute(tmp / "marked", "user.DOSATTRIB", "0x2");
    ASSERT_EQ(::symlink("marked", (tmp / "link").c_str()), 0);  // its own attributes, not its target's
    const std::vector<std::string> names{"plain", "marked", "link", Awkward_Names[3]};
    write_file(tmp / Awkward_Names[3], "c");
    fs.set_attribute(tmp / Awkward_Names[3], "user.DOSATTRIB", std::string(300, 'v'));  // longer than a first try

    testing::Stepwise_File_System stepwise(fs);
    for (const std::string& folder : {tmp.path(), tmp.path() + "/"}) {
        auto values = fs.get_attributes_in(folder, names, "user.DOSATTRIB");
        EXPECT_EQ(values, stepwise.get_attributes_in(folder, names, "user.DOSATTRIB"));
        ASSERT_EQ(values.size(), 4u);
        EXPECT_EQ(values[0].value, std::nullopt);
        EXPECT_EQ(values[1].value, "0x2");
        EXPECT_EQ(values[2].value, std::nullopt);
        EXPECT_EQ(values[3].value, std::string(300, 'v'));
    }

    // An entry gone since the folder was read is that entry's matter alone:
    // it is marked, and the others are still read.
    for (File_System* any : std::initializer_list<File_System*>{&fs, &stepwise}) {
        auto values = any->get_attributes_in(tmp.path(), {"gone", "marked"}, "user.DOSATTRIB");
        ASSERT_EQ(values.size(), 2u);
        EXPECT_TRUE(values[0].vanished);
        EXPECT_FALSE(values[1].vanished);
        EXPECT_EQ(values[1].value, "0x2");
    }
}

// A folder of a tree that another program replaces by a link while a run
// is confined to the tree is never followed, wherever the link leads (out
// of the tree, or to another of its folders), with openat2 and with the
// walk one folder at a time where the kernel has no openat2: every
// operation through it fails, and the folder the link leads to stays
// untouched. A folder beside the root whose name begins with the root's
// is no part of the tree.
TEST_F(Posix_File_System_Test, ConfinedPathsNeverFollowALinkBelowTheRoot) {
    for (const bool openat2 : {true, false}) {
        for (const std::string& leads_to : {std::string("../draussen"), std::string("B")}) {
            SCOPED_TRACE(std::string(openat2 ? "openat2, " : "no openat2, ") + "link to " + leads_to);
            Temp_Folder case_tmp;
            const std::string root = case_tmp / "baum";
            const std::string victim_folder = leads_to == "B" ? root + "/B" : case_tmp / "draussen";
            write_file(root + "/A/a.txt", "a");
            write_file(victim_folder + "/geheim.txt", "g");
            write_file(case_tmp / "verweis2/daneben.txt", "d");
            ::setxattr((victim_folder + "/geheim.txt").c_str(), "user.DOSATTRIB", "0x20", 4, 0);
            ASSERT_EQ(::symlink("baum", (case_tmp / "verweis").c_str()), 0);

            auto refuse = [&] { return openat2 ? std::string() : testing::refuse_calls({{SYS_openat2, ENOSYS}}); };
            const auto outcome = testing::Run_In_Child(refuse, [&]() -> std::string {
                std::string failures;
                auto made = make_posix_file_system();
                File_System& own = *made;
                // The root itself may be named through a link: that is the user's choice.
                const Confinement confined(own, {case_tmp / "verweis"});
                const std::string through = case_tmp / "verweis";
                // A confinement within it (the run's evaluation) ends without lifting it.
                { const Confinement inner(own, {through}); }
                if (!own.status(through + "/A/a.txt")) return "the tree's own file not found";
                std::filesystem::rename(root + "/A", root + "/A-alt");
                ::symlink(leads_to.c_str(), (root + "/A").c_str());
                // Looks may use a folder opened a moment ago, which shows the tree as it
                // was then; after that moment they too find the link.
                std::this_thread::sleep_for(Confined_Paths::Lifetime + std::chrono::milliseconds(50));

                const std::string victim = through + "/A/geheim.txt";
                auto loops = [&](const char* what, const std::function<void()>& operation) {
                    try {
                        operation();
                        failures += std::string(what) + " went through the link\n";
                    } catch (const File_System_Error& error) {
                        if (error.error_number() != ELOOP)
                            failures += std::string(what) + ": " + error.what() + " instead of ELOOP\n";
                    }
                };
                loops("status", [&] { own.status(victim); });
                loops("read_folder", [&] { own.read_folder(through + "/A/"); });
                loops("copy_file", [&] { own.copy_file(victim, through + "/kopie", {}); });
                loops("copy_file into", [&] { own.copy_file(through + "/A-alt/a.txt", through + "/A/neu", {}); });
                loops("copy_file_unnamed",
                      [&] { own.copy_file_unnamed(through + "/A-alt/a.txt", through + "/A/neu", {}); });
                loops("create_folder", [&] { own.create_folder(through + "/A/neu"); });
                loops("remove_file", [&] { own.remove_file(victim); });
                loops("rename", [&] { own.rename(victim, through + "/weg", false); });
                loops("rename within", [&] { own.rename(victim, through + "/A/weg", false); });
                loops("set_modified", [&] { own.set_modified(victim, {1, 0}); });
                loops("set_mode", [&] { own.set_mode(victim, 0777); });
                loops("get_attribute", [&] { own.get_attribute(victim, "user.DOSATTRIB"); });
                loops("set_attribute", [&] { own.set_attribute(victim, "user.DOSATTRIB", "0x0"); });
                loops("remove_attribute", [&] { own.remove_attribute(victim, "user.DOSATTRIB"); });
                loops("create_link", [&] { own.create_link("x", through + "/A/neu"); });
                // A path that climbs out with "..": the program makes none, and
                // openat2 refuses it like a link.
                if (openat2)
                    loops("status climbing out", [&] { own.status(through + "/A-alt/../../verweis2/daneben.txt"); });

                if (sorted_names(own.read_folder(victim_folder)) != std::vector<std::string>{"geheim.txt"})
                    failures += "the folder the link leads to changed\n";
                if (read_file(victim_folder + "/geheim.txt") != "g") failures += "geheim.txt changed\n";
                if (own.get_attribute(victim_folder + "/geheim.txt", "user.DOSATTRIB") != "0x20")
                    failures += "geheim.txt's attribute changed\n";
                // The tree's own folders are reached as before.
                own.create_folder(through + "/neu");
                own.copy_file(through + "/A-alt/a.txt", through + "/neu/a.txt", {});
                if (read_file(root + "/neu/a.txt") != "a") failures += "no copy within the tree\n";
                // Beside the tree: as by path.
                if (!own.status(case_tmp / "verweis2/daneben.txt")) failures += "verweis2/daneben.txt not found\n";
                own.copy_file(case_tmp / "verweis2/daneben.txt", case_tmp / "verweis2/kopie.txt", {});
                if (read_file(case_tmp / "verweis2/kopie.txt") != "d") failures += "no copy beside the tree\n";
                return failures;
            });
            if (outcome.skipped) GTEST_SKIP() << outcome.message;
            EXPECT_EQ(outcome.message, "");
        }
    }
}

// A folder a confined look found missing a moment ago counts as missing
// for the next looks, but never after this process has written: a file
// copied into the folder just made must be seen.
TEST_F(Posix_File_System_Test, ConfinedLooksSeeWhatThisProcessMadeAtOnce) {
    auto made = make_posix_file_system();
    File_System& own = *made;
    const std::string root = tmp / "ziel";
    make_folders(root);
    write_file(tmp / "a.txt", "a");
    const Confinement confined(own, {root});

    EXPECT_FALSE(own.status(root + "/neu/a.txt"));
    own.create_folder(root + "/neu");
    write_file(root + "/neu/a.txt", "a");
    EXPECT_TRUE(own.status(root + "/neu/a.txt"));
    EXPECT_FALSE(own.status(root + "/neu/unten/b.txt"));
    own.copy_file(tmp / "a.txt", root + "/neu/a2.txt", {});
    write_file(root + "/neu/unten/b.txt", "b");
    EXPECT_TRUE(own.status(root + "/neu/unten/b.txt"));

    // Made by another program: seen once the moment has passed.
    EXPECT_FALSE(own.status(root + "/fremd/b.txt"));
    write_file(root + "/fremd/b.txt", "b");
    std::this_thread::sleep_for(Confined_Paths::Lifetime + std::chrono::milliseconds(50));
    EXPECT_TRUE(own.status(root + "/fremd/b.txt"));
}

TEST_F(Posix_File_System_Test, CanonicalResolvesTheExistingPartOnly) {
    make_folders(tmp / "real/inner");
    ASSERT_EQ(::symlink("real", (tmp / "link").c_str()), 0);
    std::string base = fs.canonical(tmp.path());

    EXPECT_EQ(fs.canonical(tmp / "link/inner"), base + "/real/inner");
    EXPECT_EQ(fs.canonical(tmp / "link/inner/../x"), base + "/real/x");  // ".." after the link resolves
    EXPECT_EQ(fs.canonical(tmp / "link/missing/deeper/../more/"), base + "/real/missing/more");
    EXPECT_EQ(fs.canonical(tmp / "link//./inner/"), base + "/real/inner");
    EXPECT_EQ(fs.canonical("/"), "/");

    ASSERT_EQ(::symlink("loop2", (tmp / "loop1").c_str()), 0);
    ASSERT_EQ(::symlink("loop1", (tmp / "loop2").c_str()), 0);
    EXPECT_NO_THROW(fs.canonical(tmp / "loop1/x"));
}

TEST_F(Posix_File_System_Test, LinksAreReadAndMadeAsWritten) {
    std::string target = "../somewhere/ü \xff";
    fs.create_link(target, tmp / "l");
    EXPECT_EQ(fs.read_link(tmp / "l"), target);
    std::string long_target(1000, 'a');
    fs.create_link(long_target, tmp / "long");
    EXPECT_EQ(fs.read_link(tmp / "long"), long_target);
    EXPECT_THROW(fs.create_link("x", tmp / "l"), File_System_Error);
}

}  // namespace
}  // namespace zentrel::platform
