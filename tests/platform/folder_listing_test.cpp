#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "common/faulty_file_system.h"
#include "common/temp_folder.h"
#include "platform/dos_attributes.h"
#include "platform/folder_listing.h"

namespace zentrel::platform {
namespace {

using testing::Faulty_File_System;
using testing::Fs_Operation;
using testing::make_folders;
using testing::Temp_Folder;
using testing::write_file;
using Names = std::vector<std::string>;

TEST(Wildcard_Match_Test, StarsQuestionMarksAndCase) {
    EXPECT_TRUE(wildcard_match("*.txt", "a.txt"));
    EXPECT_TRUE(wildcard_match("*.txt", ".txt"));
    EXPECT_TRUE(wildcard_match("*.TXT", "Brief.txt"));
    EXPECT_TRUE(wildcard_match("brief*", "BRIEF 2023.doc"));
    EXPECT_FALSE(wildcard_match("*.txt", "a.txt.bak"));
    EXPECT_FALSE(wildcard_match("*.txt", "atxt"));
    EXPECT_TRUE(wildcard_match("a?c", "abc"));
    EXPECT_FALSE(wildcard_match("a?c", "ac"));
    EXPECT_FALSE(wildcard_match("a?c", "abbc"));
    EXPECT_TRUE(wildcard_match("*a*b*c*", "xxaxxbxxcxx"));
    EXPECT_FALSE(wildcard_match("*a*b*c*", "xxcxxbxxaxx"));
    EXPECT_TRUE(wildcard_match("**", ""));
    EXPECT_FALSE(wildcard_match("?", ""));
    EXPECT_TRUE(wildcard_match("exact", "exact"));
    EXPECT_FALSE(wildcard_match("exact", "exactly"));
    // A long run of stars against a name that almost matches stays quick.
    EXPECT_FALSE(wildcard_match(std::string(50, '*') + "b", std::string(5000, 'a')));
}

TEST(Wildcard_Match_Test, DotRulesAndEmptyPattern) {
    EXPECT_TRUE(wildcard_match("*.*", "noextension"));
    EXPECT_TRUE(wildcard_match("*.*", "a.b.c"));
    EXPECT_TRUE(wildcard_match("*.*", ".hidden"));
    EXPECT_TRUE(wildcard_match("", "anything"));
    EXPECT_TRUE(wildcard_match("readme.*", "README"));
    EXPECT_TRUE(wildcard_match("readme.*", "readme.md"));
    EXPECT_FALSE(wildcard_match("readme.*", "readmes"));
    EXPECT_TRUE(wildcard_match("*", "x"));
    EXPECT_FALSE(wildcard_match("*.doc", "doc"));
}

TEST(Wildcard_Match_Test, NamesBeyondAscii) {
    EXPECT_TRUE(wildcard_match("gr??e.txt", "grüße.txt"));  // "?" is one character, not one byte
    EXPECT_TRUE(wildcard_match("Grüße*", "Grüße 1.txt"));
    EXPECT_FALSE(wildcard_match("grüsse", "grüße"));
    EXPECT_TRUE(wildcard_match("?.bin", "\xff.bin"));  // not UTF-8: one byte is one character
    EXPECT_TRUE(wildcard_match("*", "zwei\nZeilen"));
    EXPECT_FALSE(wildcard_match("a/b", "a/b"));
    EXPECT_FALSE(wildcard_match("*/*", "ab"));
    EXPECT_FALSE(wildcard_match("../*", "x"));
}

TEST(Wildcard_Match_Test, LettersOfEveryScriptIgnoreCase) {
    EXPECT_TRUE(wildcard_match("ü*", "Übersicht.txt"));
    EXPECT_TRUE(wildcard_match("*.TXT", "ärger.txt"));
    EXPECT_TRUE(wildcard_match("ÄRGER.*", "ärger.txt"));
    EXPECT_TRUE(wildcard_match("σίσυφος", "ΣΊΣΥΦΟΣ"));
    EXPECT_TRUE(wildcard_match("ΣΊΣΥΦΟΣ", "σίσυφος"));  // the final sigma is a sigma
    EXPECT_TRUE(wildcard_match("*москва*", "Отчёт МОСКВА.doc"));
    EXPECT_TRUE(wildcard_match("\u212a*", "kelvin"));  // Kelvin sign, three bytes against one
    EXPECT_TRUE(wildcard_match("k?", "\u212aü"));
    // Simple folding only, as on the filters' home platform.
    EXPECT_FALSE(wildcard_match("strasse", "STRAẞE"));
    EXPECT_FALSE(wildcard_match("ü*", "u.txt"));
    // Bytes that are not UTF-8 match only themselves.
    EXPECT_TRUE(wildcard_match("\xc3*", "\xc3x"));
    EXPECT_FALSE(wildcard_match("\xc3*", "\xe3x"));
    EXPECT_FALSE(wildcard_match("\xdc*", "\xfc.txt"));  // Latin-1 Ü and ü are not letters here
}

class List_Files_Test : public ::testing::Test {
protected:
    Temp_Folder tmp;
    Faulty_File_System fs{real_file_system()};
};

TEST_F(List_Files_Test, OnlyFilesAndLinksInNameOrder) {
    for (const char* name : {"b.txt", "a.txt", "C.TXT", "mit Leerzeichen.txt", "zwei\nZeilen.txt", "\xe4.txt"})
        write_file(tmp / name, "x");
    make_folders(tmp / "folder.txt");
    ASSERT_EQ(::symlink("a.txt", (tmp / "link.txt").c_str()), 0);
    ASSERT_EQ(::symlink("folder.txt", (tmp / "folder-link.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "pipe.txt").c_str(), 0600), 0);

    EXPECT_EQ(list_files(fs, tmp.path(), "*.txt"), (Names{"C.TXT", "a.txt", "b.txt", "folder-link.txt", "link.txt",
                                                          "mit Leerzeichen.txt", "zwei\nZeilen.txt", "\xe4.txt"}));
    EXPECT_EQ(list_files(fs, tmp.path() + "/", "?.TXT"), (Names{"C.TXT", "a.txt", "b.txt", "\xe4.txt"}));
    EXPECT_EQ(list_files(fs, tmp.path(), "nothing*"), Names{});
    EXPECT_EQ(list_files(fs, tmp.path(), "sub/*"), Names{});
    // The pipe was never opened: had it been, this test would hang.
    EXPECT_EQ(fs.calls(Fs_Operation::copy_contents), 0);
}

TEST_F(List_Files_Test, HiddenAndSystemOnlyWhenAsked) {
    write_file(tmp / "normal", "");
    write_file(tmp / ".dot", "");
    write_file(tmp / "hidden", "");
    write_file(tmp / "system", "");
    write_file(tmp / "both", "");
    write_file(tmp / "ro-archive", "");
    write_file(tmp / "samba-hidden", "");
    real_file_system().set_attribute(tmp / "hidden", Dos_Attribute_Name, "0x22");
    real_file_system().set_attribute(tmp / "system", Dos_Attribute_Name, "0x4");
    real_file_system().set_attribute(tmp / "both", Dos_Attribute_Name, "0x6");
    real_file_system().set_attribute(tmp / "ro-archive", Dos_Attribute_Name, "0x21");
    real_file_system().set_attribute(tmp / "samba-hidden", Dos_Attribute_Name,
                                     std::string("\0\0\x05\0\x05\0\0\0\x11\0\0\0\x22\0\0\0", 16));

    EXPECT_EQ(list_files(fs, tmp.path(), "*"), (Names{"normal", "ro-archive"}));
    EXPECT_EQ(list_files(fs, tmp.path(), "*", List_Hidden),
              (Names{".dot", "hidden", "normal", "ro-archive", "samba-hidden"}));
    EXPECT_EQ(list_files(fs, tmp.path(), "*", List_System), (Names{"normal", "ro-archive", "system"}));
    Names read;
    fs.before([&](Fs_Operation operation, const std::string& path) {
        if (operation == Fs_Operation::get_attribute || operation == Fs_Operation::get_attributes_in)
            read.push_back(path.substr(path.rfind('/') + 1));
    });
    EXPECT_EQ(list_files(fs, tmp.path(), "*", List_Hidden | List_System),
              (Names{".dot", "both", "hidden", "normal", "ro-archive", "samba-hidden", "system"}));
    EXPECT_EQ(read, Names{});  // nothing to decide

    fs.reset_calls();
    read.clear();
    list_files(fs, tmp.path(), "*");
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, (Names{"both", "hidden", "normal", "ro-archive", "samba-hidden", "system"}));  // never the dot file
    EXPECT_EQ(fs.calls(Fs_Operation::get_attributes_in), 1);  // one read for the folder
    EXPECT_EQ(fs.calls(Fs_Operation::get_attribute), 0);
}

TEST_F(List_Files_Test, SystemDotFilesAndPartialCopiesStayOut) {
    write_file(tmp / ".dot-system", "");
    real_file_system().set_attribute(tmp / ".dot-system", Dos_Attribute_Name, "0x4");
    write_file(tmp / ".zentrel-Ab12Cd.part", "half a copy");
    write_file(tmp / ".zentrel-notours", "");
    EXPECT_EQ(list_files(fs, tmp.path(), "*", List_Hidden), (Names{".zentrel-notours"}));
    EXPECT_EQ(list_files(fs, tmp.path(), "*", List_Hidden | List_System), (Names{".dot-system", ".zentrel-notours"}));
}

TEST_F(List_Files_Test, UnreadableFolderThrows) {
    EXPECT_THROW(list_files(fs, tmp / "missing", "*"), File_System_Error);
    make_folders(tmp / "locked");
    fs.fail(Fs_Operation::read_folder, tmp / "locked", EACCES);
    EXPECT_THROW(list_files(fs, tmp / "locked", "*"), File_System_Error);
}

}  // namespace
}  // namespace zentrel::platform
