// The listing of one folder through the include and exclude filters.
#include "job_fixture.h"

#include <tuple>

namespace zentrel::testing {
namespace {

class File_Listing : public Job_Test {
protected:
    File_Listing() {
        for (const char* name : {"a.doc", "b.txt", "c.bak", "d.TMP", "e.sik", "f.txt"})
            write_file(src + "/" + std::string(name), "x");
        write_file(src + "/Unter/g.txt", "x");
    }
    // The names listed, without the folder.
    std::vector<std::string> names(const std::string& include, const std::string& exclude,
                                   int classes = platform::List_Normal_Only) {
        const engine::Folder_Listing listing = job.Get_Folder_Files(src, include, exclude, classes);
        EXPECT_EQ(listing.names.at(0), "");
        std::vector<std::string> result;
        for (long i = 1; i <= listing.count(); ++i) {
            EXPECT_TRUE(listing.path(i).starts_with(src + "/")) << listing.path(i);
            result.push_back(listing.path(i).substr(src.size() + 1));
        }
        return result;
    }
};

TEST_F(File_Listing, EmptyFiltersListEveryNormalFileOfTheFolderOnly) {
    write_file(src + "/.versteckt", "h");
    // The copy's parked old version is never the user's file to copy.
    write_file(src + "/$$$Temp1$$$", "alt");
    EXPECT_EQ(names("", ""), (std::vector<std::string>{"a.doc", "b.txt", "c.bak", "d.TMP", "e.sik", "f.txt"}));
}

// A file two items match is listed once, where the first put it: twice, it
// would be counted and copied twice and the progress would stop halfway.
TEST_F(File_Listing, IncludeItemsListInTheirOrderAndEachFileOnce) {
    EXPECT_EQ(names("*.txt,a*", ""), (std::vector<std::string>{"b.txt", "f.txt", "a.doc"}));
    EXPECT_EQ(names("*.txt; b*", ""), (std::vector<std::string>{"b.txt", "f.txt"}));
    EXPECT_EQ(names("*.txt;b*", ""), names("*.txt,b*", ""));
    // Three items whose second is shorter than the first.
    EXPECT_EQ(names("*.doc,?,*.s", ""), (std::vector<std::string>{"a.doc"}));
}

// An empty include item lists every file; an empty exclude item (a
// trailing ";", a lone blank) excludes nothing, not everything.
TEST_F(File_Listing, AnEmptyIncludeItemListsEverythingAnEmptyExcludeItemNothing) {
    EXPECT_EQ(names("*.doc,", "").size(), 6u);
    const std::vector<std::string> all_but_doc{"b.txt", "c.bak", "d.TMP", "e.sik", "f.txt"};
    for (const char* exclude : {"*.doc;;", "*.doc;", ";*.doc", "*.doc, ,", "*.doc ; "}) {
        SCOPED_TRACE(exclude);
        EXPECT_EQ(names("", exclude), all_but_doc);
    }
    EXPECT_EQ(names("", " ").size(), 6u);
    EXPECT_EQ(names("", ";").size(), 6u);
}

TEST_F(File_Listing, ExcludeRemovesMatchesWithoutRegardToCaseAndKeepsTheOrder) {
    EXPECT_EQ(names("", "*.bak,*.sik,*.tmp"), (std::vector<std::string>{"a.doc", "b.txt", "f.txt"}));
    EXPECT_EQ(names("*.txt,*.doc,*.txt", "B.TXT"), (std::vector<std::string>{"f.txt", "a.doc"}));
}

TEST_F(File_Listing, HiddenAndSystemFilesOnlyWhenAskedFor) {
    write_file(src + "/.versteckt", "h");
    set_attributes(src + "/b.txt", platform::Attribute_System);
    EXPECT_EQ(names("*", "").size(), 5u);
    EXPECT_EQ(names("*", "", platform::List_Hidden).size(), 6u);
    EXPECT_EQ(names("*", "", platform::List_System).size(), 6u);
    EXPECT_EQ(names("*", "", platform::List_Hidden | platform::List_System).size(), 7u);
}

TEST_F(File_Listing, MoreThanAThousandAndMoreThan32767Files) {
    const std::string many = tmp / "viele";
    make_folders(many);
    for (int i = 0; i < 33'000; ++i) write_file(many + "/n" + std::to_string(i) + (i % 2 ? ".a" : ".b"), "");
    const engine::Folder_Listing listing = job.Get_Folder_Files(many, "", "*.b");
    ASSERT_EQ(listing.count(), 16'500);
    EXPECT_TRUE(listing.path(16'500).ends_with(".a"));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(File_Listing, AFailureIsReportedWithTheFolder) {
    fs.fail(Fs_Operation::read_folder, src + "/", EACCES);
    host.answer(support::Answer_OK);
    const engine::Folder_Listing listing = job.Get_Folder_Files(src, "", "");
    EXPECT_EQ(listing.count(), 0);
    EXPECT_TRUE(listing.failed);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt,
              "Fehler bei der Verarbeitung von Verzeichnis:\r\n" + src + "/\r\nPermission denied: " + src + "/");
    EXPECT_EQ(host.boxes[0].buttons, support::Buttons_OK);
}

// Every include and exclude item is matched against one reading of the
// folder. A failure after it (here: reading the files' attributes) lists
// nothing rather than files the classes would have left out.
TEST_F(File_Listing, OneReadingServesEveryItemAndAFailureListsNothing) {
    for (const auto& [include, exclude, listed] :
         {std::tuple{"", "*.bak", 5u}, std::tuple{"*.bak,*.txt", "*.bak", 2u}}) {
        SCOPED_TRACE(std::string(include) + " / " + exclude);
        fs.clear();
        int readings = 0;
        fs.before([&](Fs_Operation op, const std::string&) {
            if (op == Fs_Operation::read_folder) ++readings;
        });
        EXPECT_EQ(names(include, exclude).size(), listed);
        EXPECT_EQ(readings, 1);

        fs.fail(Fs_Operation::get_attributes_in, src + "/", EIO);
        host.answer(support::Answer_OK);
        EXPECT_EQ(job.Get_Folder_Files(src, include, exclude).count(), 0);
        EXPECT_EQ(host.boxes.size(), 1u);
        host.boxes.clear();
    }
}

}  // namespace
}  // namespace zentrel::testing
