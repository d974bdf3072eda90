#include "platform/trash.h"

#include "common/faulty_file_system.h"
#include "common/temp_folder.h"
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>

namespace zentrel::platform {
namespace {

using testing::exists;
using testing::read_file;
using testing::write_file;

// Two files of one name go to the trash one after the other: each keeps its
// content and an info file that names where it came from, the second under a
// name of its own; a name that is not plain text is escaped in the info.
TEST(Trash, EachFileKeepsItsContentAndSaysWhereItCameFrom) {
    testing::Temp_Folder tmp;
    const char* kept = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> earlier = kept ? std::optional<std::string>(kept) : std::nullopt;
    ::setenv("XDG_DATA_HOME", (tmp / "data").c_str(), 1);

    write_file(tmp / "a/Bericht.txt", "erste");
    write_file(tmp / "b/Bericht.txt", "zweite");
    write_file(tmp / "b/M\xe4rz 50%.txt", "odd");
    const std::string first = move_to_trash(real_file_system(), tmp / "a/Bericht.txt");
    const std::string second = move_to_trash(real_file_system(), tmp / "b/Bericht.txt");
    const std::string odd = move_to_trash(real_file_system(), tmp / "b/M\xe4rz 50%.txt");
    EXPECT_THROW(move_to_trash(real_file_system(), tmp / "b/fehlt.txt"), File_System_Error);

    EXPECT_FALSE(exists(tmp / "a/Bericht.txt"));
    EXPECT_EQ(first, tmp / "data/Trash/files/Bericht.txt");
    EXPECT_EQ(second, tmp / "data/Trash/files/Bericht.2.txt");
    EXPECT_EQ(read_file(first), "erste");
    EXPECT_EQ(read_file(second), "zweite");
    EXPECT_EQ(read_file(odd), "odd");
    const std::string info = read_file(tmp / "data/Trash/info/Bericht.2.txt.trashinfo");
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + tmp / "b/Bericht.txt\nDeletionDate=")) << info;
    EXPECT_NE(read_file(tmp / "data/Trash/info/M\xe4rz 50%.txt.trashinfo").find("/M%E4rz%2050%25.txt\n"),
              std::string::npos);

    // A run's folder replaced by a link to another folder while the run
    // works, before the file is looked up or as it is moved: the file of
    // the same name there stays where it is.
    for (const bool at_move : {false, true}) {
        const auto posix = make_posix_file_system();
        testing::Faulty_File_System fs{*posix};
        std::filesystem::remove_all(tmp / "root");
        write_file(tmp / "root/Unter/Bericht.txt", "eigene");
        write_file(tmp / "fremd/Bericht.txt", "fremde");
        auto swap = [&] {
            std::filesystem::rename(tmp / "root/Unter", tmp / "root/Unter.weg");
            std::filesystem::create_directory_symlink(tmp / "fremd", tmp / "root/Unter");
        };
        const Confinement confined(fs, {tmp / "root"});
        if (at_move)
            fs.before([&](testing::Fs_Operation operation, const std::string&) {
                if (operation == testing::Fs_Operation::rename) swap();
            });
        else
            swap();
        EXPECT_THROW(move_to_trash(fs, tmp / "root/Unter/Bericht.txt"), File_System_Error) << at_move;
        EXPECT_EQ(read_file(tmp / "fremd/Bericht.txt"), "fremde") << at_move;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp / "data/Trash/files"), {}), 3);

    if (earlier)
        ::setenv("XDG_DATA_HOME", earlier->c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace zentrel::platform
