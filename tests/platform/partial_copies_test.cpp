// Copies in progress left behind by a killed run: which ones a later run may
// remove, and that nothing else ever goes with them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/refused_calls.h"
#include "common/temp_folder.h"
#include "common/unprivileged.h"
#include "platform/file_objects.h"
#include "platform/file_system.h"

namespace zentrel::platform {
namespace {

using testing::exists;
using testing::Temp_Folder;
using testing::write_file;

TEST(Partial_Copies, OnlyOurExactPatternCountsAsACopyInProgress) {
    EXPECT_TRUE(is_partial_copy_name(".zentrel-aZ09xy.part"));
    EXPECT_FALSE(is_partial_copy_name(".zentrel-ab cd.part"));  // a blank is no letter we draw
    EXPECT_FALSE(is_partial_copy_name(".zentrel-ab/cd.part"));
    EXPECT_FALSE(is_partial_copy_name(".zentrel-abcdefg.part"));  // seven letters
    EXPECT_FALSE(is_partial_copy_name(".zentrel-abcde.part"));
    EXPECT_FALSE(is_partial_copy_name("zentrel-abcdef.part"));
    EXPECT_FALSE(is_partial_copy_name(".zentrel-abcdef.part2"));
    EXPECT_FALSE(
        is_partial_copy_name(".zentrel-\xc3\xa4"
                             "bcde.part"));
}

TEST(Partial_Copies, StaleOnesGoWhileOneBeingWrittenAndEverythingElseStays) {
    Temp_Folder tmp;
    File_System& fs = real_file_system();
    write_file(tmp / ".zentrel-abcdef.part", "half a file");  // its writer was killed
    ASSERT_EQ(::symlink("irgendwohin", (tmp / ".zentrel-LINK01.part").c_str()), 0);
    write_file(tmp / ".zentrel-ab cd.part", "a user's file");
    write_file(tmp / "daten.part", "a user's file");
    write_file(tmp / "$$$Temp1$$$", "a parked old version");
    testing::make_folders(tmp / ".zentrel-folder.part");  // never a folder
    testing::make_folders(tmp / "unter");
    write_file(tmp / "unter/.zentrel-zzzzzz.part", "another folder's");

    // A copy that is still running holds its lock.
    write_file(tmp / ".zentrel-runnin.part", "being written");
    const int writer = ::open((tmp / ".zentrel-runnin.part").c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);

    EXPECT_EQ(remove_stale_partial_copies(fs, tmp.path()), 2);
    EXPECT_FALSE(exists(tmp / ".zentrel-abcdef.part"));
    EXPECT_FALSE(exists(tmp / ".zentrel-LINK01.part"));
    EXPECT_TRUE(exists(tmp / ".zentrel-runnin.part"));
    EXPECT_TRUE(exists(tmp / ".zentrel-ab cd.part"));
    EXPECT_TRUE(exists(tmp / "daten.part"));
    EXPECT_TRUE(exists(tmp / "$$$Temp1$$$"));
    EXPECT_TRUE(exists(tmp / ".zentrel-folder.part"));
    EXPECT_TRUE(exists(tmp / "unter/.zentrel-zzzzzz.part"));

    ::close(writer);  // the writer died: now it is stale
    EXPECT_EQ(remove_stale_partial_copies(fs, tmp.path()), 1);
    EXPECT_FALSE(exists(tmp / ".zentrel-runnin.part"));
    EXPECT_EQ(remove_stale_partial_copies(fs, tmp / "fehlt"), 0);  // a missing folder is no failure
}

// A clean-up can take only copies whose writer is gone when a copy in
// progress has no name at all: the file is built unnamed and linked in
// complete. inotify records every name the folder ever showed. So it is
// where the kernel refuses to link the descriptor itself (EPERM without
// CAP_DAC_READ_SEARCH): the copy takes the descriptor's /proc name instead.
// Where the file system has no unnamed files, the copy is built under a
// temporary name and renamed.
TEST(Partial_Copies, ACopyHasNoNameUntilItIsComplete) {
    enum class Kernel { Links_Descriptors, Refuses_Descriptor_Links, Has_No_Unnamed_Files };
    for (const Kernel kernel :
         {Kernel::Links_Descriptors, Kernel::Refuses_Descriptor_Links, Kernel::Has_No_Unnamed_Files}) {
        SCOPED_TRACE(static_cast<int>(kernel));
        Temp_Folder tmp;
        testing::make_folders(tmp / "ziel");
        const int probe = ::open((tmp / "ziel").c_str(), O_TMPFILE | O_WRONLY, 0600);
        if (probe < 0) GTEST_SKIP() << "the test folder's file system has no unnamed files";
        ::close(probe);
        write_file(tmp / "quelle", std::string(std::size_t{8} << 20, 'q'));

        auto refuse = [&] {
            switch (kernel) {
                case Kernel::Links_Descriptors:
                    break;
                case Kernel::Refuses_Descriptor_Links:
                    return testing::refuse_calls({{SYS_linkat, EPERM, 4, AT_EMPTY_PATH}});
                case Kernel::Has_No_Unnamed_Files:
                    // O_TMPFILE without O_DIRECTORY's bit.
                    return testing::refuse_calls({{SYS_openat, EOPNOTSUPP, 2, O_TMPFILE & ~O_DIRECTORY}});
            }
            return std::string();
        };
        const auto outcome = testing::Run_In_Child(refuse, [&]() -> std::string {
            // The file system of this process alone: it learns what the kernel refuses.
            auto made = make_posix_file_system();
            const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            if (watch < 0 || ::inotify_add_watch(watch, (tmp / "ziel").c_str(), IN_CREATE | IN_MOVED_TO) < 0)
                return "no inotify";
            File_System_Objects(*made).GetFile(tmp / "quelle").Copy(tmp / "ziel/kopie", false);

            std::vector<std::string> names;
            alignas(inotify_event) char buffer[4096];
            ssize_t got;
            while ((got = ::read(watch, buffer, sizeof buffer)) > 0) {
                for (char* at = buffer; at < buffer + got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(at);
                    names.emplace_back(event->len ? event->name : "");
                    at += sizeof(inotify_event) + event->len;
                }
            }
            ::close(watch);
            std::string failures;
            const bool named_at_once = kernel != Kernel::Has_No_Unnamed_Files;
            if (named_at_once ? names != std::vector<std::string>{"kopie"} : names.size() != 2 || names[1] != "kopie") {
                failures = "names seen:";
                for (const std::string& name : names) failures += " '" + name + "'";
                failures += "\n";
            }
            if (testing::read_file(tmp / "ziel/kopie").size() != std::size_t{8} << 20) failures += "not whole\n";
            return failures;
        });
        if (outcome.skipped) GTEST_SKIP() << outcome.message;
        EXPECT_EQ(outcome.message, "");
    }
}

}  // namespace
}  // namespace zentrel::platform
