#include "platform/trash.h"

#include "common/temp_folder.h"
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
    const std::string first = move_to_trash(tmp / "a/Bericht.txt");
    const std::string second = move_to_trash(tmp / "b/Bericht.txt");
    const std::string odd = move_to_trash(tmp / "b/M\xe4rz 50%.txt");
    EXPECT_THROW(move_to_trash(tmp / "b/fehlt.txt"), File_System_Error);

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

    if (earlier)
        ::setenv("XDG_DATA_HOME", earlier->c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace zentrel::platform
