#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/faulty_file_system.h"
#include "common/stepwise_file_system.h"
#include "common/temp_folder.h"
#include "platform/dos_attributes.h"
#include "platform/file_objects.h"
#include "platform/folder_listing.h"

namespace zentrel::platform {
namespace {

using testing::Fs_Operation;
using testing::make_folders;
using testing::Temp_Folder;
using testing::write_file;

std::string from_hex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// user.DOSATTRIB values written and read by Samba 4.17 (store dos
// attributes = yes), with the attributes Samba reported for them; 0x80 is
// Windows' "normal", i.e. no bits. ro.txt kept mode 0744: Samba keeps
// read-only in the attribute only.
struct Samba_Row {
    const char* name;
    const char* hex;
    int reported;
    mode_t mode;
};
const Samba_Row Samba_Rows[] = {
    {"plain.txt", "0000050005000000110000002000000046d6fc59a886dd01", 0x20, 0644},
    {"hidden.txt", "00000500050000001100000022000000c1dcfc59a886dd01", 0x22, 0644},
    {"system.txt", "000005000500000011000000240000008549fd59a886dd01", 0x24, 0644},
    {"ro.txt", "00000500050000001100000021000000c37dfd59a886dd01", 0x21, 0744},
    {"arch_clear.txt", "000005000500000011000000000000006bd5fd59a886dd01", 0x80, 0644},
    {"hid_sys.txt", "00000500050000001100000026000000fcf4fd59a886dd01", 0x26, 0644},
    {"hdir", "000005000500000011000000120000003a19fe59a886dd01", 0x12, 0755},
    {"ours_hidden.txt", "30783232", 0x22, 0644},
    {"ours_sys_nul.txt", "3078323400", 0x24, 0644},
    {"ours_clear.txt", "307830", 0x80, 0644},
};

class Dos_Attributes_Test : public ::testing::Test {
protected:
    Temp_Folder tmp;
    File_System& fs = real_file_system();
    File_System_Objects objects{fs};

    int attributes_of(const std::string& path) { return read_dos_attributes(fs, path, *fs.status(path)); }
};

TEST_F(Dos_Attributes_Test, ReadsEverySambaValueAsSambaReportsIt) {
    for (const auto& row : Samba_Rows) {
        SCOPED_TRACE(row.name);
        std::string path = tmp / row.name;
        bool folder = row.reported & Attribute_Directory;
        if (folder)
            make_folders(path);
        else
            write_file(path, "x");
        ::chmod(path.c_str(), row.mode);
        fs.set_attribute(path, Dos_Attribute_Name, from_hex(row.hex));
        int expected = row.reported == 0x80 ? 0 : row.reported;
        EXPECT_EQ(attributes_of(path), expected);
        if (folder)
            EXPECT_EQ(objects.GetFolder(path).Attributes(), expected);
        else
            EXPECT_EQ(objects.GetFile(path).Attributes(), expected);
    }
}

TEST_F(Dos_Attributes_Test, WithoutTheAttributeTheModeAndNameDecide) {
    // Samba reports these two as 0x80 and 0x2; we follow Windows, where a
    // file nobody has cleared has archive set, and where read-only is what
    // the mode says.
    write_file(tmp / "noxattr.txt", "x");
    ::chmod((tmp / "noxattr.txt").c_str(), 0444);
    EXPECT_EQ(attributes_of(tmp / "noxattr.txt"), Attribute_Read_Only | Attribute_Archive);
    write_file(tmp / ".dotfile", "x");
    EXPECT_EQ(attributes_of(tmp / ".dotfile"), Attribute_Hidden | Attribute_Archive);
}

// Samba keeps the creation time beside the bits: clearing archive must keep
// it, and the form the value came in.
TEST(Parse_Dosattrib_Test, ClearingArchiveKeepsTheFormAndEveryOtherByte) {
    for (const auto& row : Samba_Rows) {
        SCOPED_TRACE(row.name);
        const std::string bytes = from_hex(row.hex);
        const auto cleared = dosattrib_without_archive(bytes);
        ASSERT_TRUE(cleared);
        EXPECT_EQ(parse_dosattrib(*cleared), (row.reported & ~Attribute_Archive) & ~0x80);
        if (bytes.front() != '\0') continue;  // the text form is rewritten
        ASSERT_EQ(cleared->size(), bytes.size());
        int differing = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) differing += bytes[i] != (*cleared)[i];
        EXPECT_EQ(differing, (row.reported & Attribute_Archive) ? 1 : 0);
    }
    // Version 3: the text and the binary part both lose the bit, and the
    // binary part moves to its alignment after the shorter text.
    const std::string version3("0x22\0\0\x03\0\x03\0\0\0\x01\0\0\0\x22\0\0\0", 20);
    const auto cleared = dosattrib_without_archive(version3);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(*cleared, std::string("0x2\0\x03\0\x03\0\x01\0\0\0\x02\0\0\0", 16));
    EXPECT_EQ(dosattrib_without_archive("0xA2"), "0x82");  // bits we do not know stay
    EXPECT_EQ(dosattrib_without_archive("kaputt"), std::nullopt);
}

TEST(Parse_Dosattrib_Test, FormsAndNonsense) {
    EXPECT_EQ(parse_dosattrib("0x22"), 0x22);
    EXPECT_EQ(parse_dosattrib(std::string("0x24\0", 5)), 0x24);
    EXPECT_EQ(parse_dosattrib("0x0"), 0);
    EXPECT_EQ(parse_dosattrib("0xA0"), 0x20);  // bits we do not know are dropped
    // Version 3: the text, its NUL, then the binary part, which the text wins over.
    EXPECT_EQ(parse_dosattrib(std::string("0x2\0\0\x03\0\x03\0\0\0\x01\0\0\0\x04\0\0\0", 19)), 0x2);
    // Version 2 (old Samba 3 releases) has them after a flags field that
    // says nothing about them.
    EXPECT_EQ(parse_dosattrib(from_hex("00000200020000000000000022000000000000000100000000000000001000000000"
                                       "000046d6fc59a886dd0146d6fc59a886dd0146d6fc59a886dd0100")),
              0x22);
    // Version 4 has the bits where version 5 has them.
    EXPECT_EQ(parse_dosattrib(from_hex("00000400040000001100000006000000")), 0x6);
    // Attribute field marked invalid.
    EXPECT_EQ(parse_dosattrib(from_hex("00000500050000001000000006000000")), std::nullopt);
    EXPECT_EQ(parse_dosattrib(""), std::nullopt);
    EXPECT_EQ(parse_dosattrib("0x"), std::nullopt);
    EXPECT_EQ(parse_dosattrib("0xzz"), std::nullopt);
    EXPECT_EQ(parse_dosattrib("hidden"), std::nullopt);
    EXPECT_EQ(parse_dosattrib(from_hex("000005000500")), std::nullopt);  // cut short
    EXPECT_EQ(parse_dosattrib(from_hex("0000090009000000110000002000000000")), std::nullopt);
}

TEST_F(Dos_Attributes_Test, UnreadableStoredValueCountsAsNone) {
    write_file(tmp / "f", "x");
    fs.set_attribute(tmp / "f", Dos_Attribute_Name, "garbage");
    EXPECT_EQ(attributes_of(tmp / "f"), Attribute_Archive);
}

TEST_F(Dos_Attributes_Test, ArchiveComesBackWhenTheFileChanges) {
    write_file(tmp / "f.txt", "one");
    testing::set_mtime(tmp / "f.txt", 1700000000, 100);
    File file = objects.GetFile(tmp / "f.txt");
    ASSERT_EQ(file.Attributes(), Attribute_Archive);
    file.Set_Attributes(0);
    EXPECT_EQ(attributes_of(tmp / "f.txt"), 0);
    EXPECT_EQ(fs.get_attribute(tmp / "f.txt", Dos_Attribute_Name), "0x0");

    // A change by any program moves the time; a nanosecond is enough.
    testing::set_mtime(tmp / "f.txt", 1700000000, 101);
    EXPECT_EQ(attributes_of(tmp / "f.txt"), Attribute_Archive);

    // Cleared again, it stays clear until the next change.
    objects.GetFile(tmp / "f.txt").Set_Attributes(0);
    EXPECT_EQ(attributes_of(tmp / "f.txt"), 0);
    objects.GetFile(tmp / "f.txt").Set_Attributes(Attribute_Archive);
    EXPECT_EQ(attributes_of(tmp / "f.txt"), Attribute_Archive);
    EXPECT_FALSE(fs.get_attribute(tmp / "f.txt", Archive_Time_Name));

    // The reset after a copy holds for the file as it was copied: one
    // rewritten since with its size and time put back (a program that keeps
    // the time) still shows a new change time, and keeps its bit.
    const auto as_copied = fs.status(tmp / "f.txt");
    ASSERT_TRUE(as_copied);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past the kernel's clock tick
    write_file(tmp / "f.txt", "ONE");
    testing::set_mtime(tmp / "f.txt", 1700000000, 101);
    EXPECT_FALSE(clear_archive_bit(fs, tmp / "f.txt", *as_copied));
    EXPECT_EQ(attributes_of(tmp / "f.txt"), Attribute_Archive);
    EXPECT_TRUE(clear_archive_bit(fs, tmp / "f.txt", *fs.status(tmp / "f.txt")));
    EXPECT_EQ(attributes_of(tmp / "f.txt"), 0);
}

TEST_F(Dos_Attributes_Test, ReadOnlyGoesIntoModeAndStoredBit) {
    write_file(tmp / "f", "x");
    ::chmod((tmp / "f").c_str(), 0666);
    File file = objects.GetFile(tmp / "f");
    file.Set_Attributes(Attribute_Read_Only | Attribute_Archive);
    EXPECT_EQ(fs.status(tmp / "f")->mode, 0444u);
    EXPECT_EQ(fs.get_attribute(tmp / "f", Dos_Attribute_Name), "0x21");
    EXPECT_EQ(attributes_of(tmp / "f"), Attribute_Read_Only | Attribute_Archive);

    file.Set_Attributes(Attribute_Archive);
    EXPECT_EQ(fs.status(tmp / "f")->mode, 0644u);  // only the owner's write bit comes back
    EXPECT_EQ(attributes_of(tmp / "f"), Attribute_Archive);

    // The whole set, then nothing.
    file.Set_Attributes(Attribute_Read_Only | Attribute_Hidden | Attribute_System);
    EXPECT_EQ(attributes_of(tmp / "f"), Attribute_Read_Only | Attribute_Hidden | Attribute_System);
    file.Set_Attributes(0);
    EXPECT_EQ(attributes_of(tmp / "f"), 0);
    EXPECT_TRUE(fs.status(tmp / "f")->mode & S_IWUSR);
}

// A file system without extended attributes (FAT, some network mounts);
// copies and folder reads go through the two calls below.
class No_Attribute_File_System : public testing::Faulty_File_System {
public:
    using Faulty_File_System::Faulty_File_System;
    Entry_Status copy_file(const std::string& from, const std::string& to,
                           const std::vector<std::string>& attributes) override {
        return File_System::copy_file(from, to, attributes);
    }
    std::vector<Entry_Attribute> get_attributes_in(const std::string& folder, const std::vector<std::string>& names,
                                                   const std::string& name) override {
        return File_System::get_attributes_in(folder, names, name);
    }
    std::optional<Entry_Status> copy_file_unnamed(const std::string&, const std::string&,
                                                  const std::vector<std::string>&) override {
        return std::nullopt;
    }
    std::optional<std::string> get_attribute(const std::string&, const std::string&) override { return std::nullopt; }
    void set_attribute(const std::string& path, const std::string&, const std::string&) override {
        throw File_System_Error(ENOTSUP, path);
    }
};

TEST_F(Dos_Attributes_Test, FileSystemWithoutAttributes) {
    No_Attribute_File_System plain(fs);
    File_System_Objects on_fat(plain);
    write_file(tmp / "f", "x");
    File file = on_fat.GetFile(tmp / "f");
    EXPECT_EQ(file.Attributes(), Attribute_Archive);

    // What the mode can hold works.
    file.Set_Attributes(Attribute_Read_Only | Attribute_Archive);
    EXPECT_EQ(on_fat.GetFile(tmp / "f").Attributes(), Attribute_Read_Only | Attribute_Archive);
    file.Set_Attributes(Attribute_Archive);
    EXPECT_EQ(on_fat.GetFile(tmp / "f").Attributes(), Attribute_Archive);

    // The rest fails, saying why.
    for (int wanted : {0, int(Attribute_Hidden | Attribute_Archive), int(Attribute_System | Attribute_Archive)}) {
        SCOPED_TRACE(wanted);
        try {
            file.Set_Attributes(wanted);
            FAIL() << "no exception";
        } catch (const File_System_Error& error) {
            EXPECT_NE(std::string(error.what()).find("keine erweiterten Attribute"), std::string::npos) << error.what();
        }
    }
}

// The kernel's vfat keeps the bits in FAT's own attribute byte (its ioctl),
// where Windows reads them; nothing goes into extended attributes there.
TEST_F(Dos_Attributes_Test, FileSystemWithItsOwnAttributes) {
    No_Attribute_File_System fat(fs);
    fat.keep_native_attributes(tmp.path());
    File_System_Objects on_fat(fat);
    write_file(tmp / "f.txt", "x");
    write_file(tmp / "versteckt.txt", "x");
    EXPECT_EQ(on_fat.GetFile(tmp / "f.txt").Attributes(), Attribute_Archive);

    // Every bit can be set, also where no extended attribute can be stored,
    // and reads back through the file and the listing.
    on_fat.GetFile(tmp / "versteckt.txt").Set_Attributes(Attribute_Hidden | Attribute_System);
    EXPECT_EQ(fat.native_bits(tmp / "versteckt.txt"), Attribute_Hidden | Attribute_System);
    EXPECT_EQ(on_fat.GetFile(tmp / "versteckt.txt").Attributes(), Attribute_Hidden | Attribute_System);
    EXPECT_EQ(list_files(fat, tmp.path(), "*.*"), std::vector<std::string>{"f.txt"});
    EXPECT_EQ(list_files(fat, tmp.path(), "*.*", List_Hidden | List_System),
              (std::vector<std::string>{"f.txt", "versteckt.txt"}));

    // Read-only there too, with the mode following where it can.
    on_fat.GetFile(tmp / "f.txt").Set_Attributes(Attribute_Read_Only | Attribute_Archive);
    EXPECT_EQ(fat.native_bits(tmp / "f.txt"), Attribute_Read_Only | Attribute_Archive);
    EXPECT_EQ(on_fat.GetFile(tmp / "f.txt").Attributes(), Attribute_Read_Only | Attribute_Archive);
    EXPECT_FALSE(fs.status(tmp / "f.txt")->mode & 0222);

    // A failing ioctl is the write's failure, not a silent success.
    fat.fail(Fs_Operation::set_native_attributes, tmp / "f.txt", EIO);
    EXPECT_THROW(on_fat.GetFile(tmp / "f.txt").Set_Attributes(Attribute_Read_Only), File_System_Error);
}

TEST_F(Dos_Attributes_Test, LinksHaveNoStoredAttributes) {
    write_file(tmp / "target", "x");
    ASSERT_EQ(::symlink("target", (tmp / "link").c_str()), 0);
    File link = objects.GetFile(tmp / "link");
    EXPECT_EQ(link.Attributes(), Attribute_Archive);
    EXPECT_NO_THROW(link.Set_Attributes(Attribute_Archive));  // nothing to change
    EXPECT_THROW(link.Set_Attributes(Attribute_Hidden), File_System_Error);
    EXPECT_THROW(link.Set_Attributes(Attribute_Read_Only | Attribute_Archive), File_System_Error);
    // The file behind it is never touched.
    EXPECT_EQ(fs.status(tmp / "target")->mode & S_IWUSR, S_IWUSR);
    EXPECT_FALSE(fs.get_attribute(tmp / "target", Dos_Attribute_Name));
}

}  // namespace
}  // namespace zentrel::platform
