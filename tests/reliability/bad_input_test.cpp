// Whatever the user types into a field, the start command answers with a
// message it knows, and nothing lands where it should not.
#include "engine/job_fixture.h"
#include "reliability/reliability_support.h"

#include <filesystem>

namespace zentrel::testing {
namespace {

using support::Answer_OK;
using support::Answer_Yes;

class Bad_Input : public Job_Test {
protected:
    Bad_Input() {
        write_file(src + "/a.txt", "a");
        write_file(src + "/b.doc", "b");
        write_file(src + "/unter/c.txt", "c");
        set_mtime(src + "/a.txt", 1'600'000'000);
        set_mtime(src + "/b.doc", 1'600'000'000);
        set_mtime(src + "/unter/c.txt", 1'600'000'000);
        before_source = snapshot(src);
    }
    ~Bad_Input() override { EXPECT_EQ(snapshot(src), before_source) << "the source changed"; }

    // Starts with the two folder texts, expecting exactly the one box.
    void expect_refused(const std::string& source, const std::string& target, const std::string& message) {
        options.Sourcefolder = source;
        options.Targetfolder = target;
        host.boxes.clear();
        host.answer(Answer_OK);
        start();
        const std::string texts = source.substr(0, 80) + " -> " + target.substr(0, 80);
        ASSERT_EQ(prompts().size(), 1u) << texts;
        EXPECT_EQ(prompts()[0].substr(0, message.size()), message) << texts;
        EXPECT_TRUE(!display.run_under_way);
    }
    std::vector<std::string> copied() { return exists(dst) ? files_below(dst) : std::vector<std::string>{}; }

    std::map<std::string, File_Image> before_source;
};

TEST_F(Bad_Input, FolderTextsThatNameNoUsableFolder) {
    const std::string no_source = "Quellverzeichnis existiert nicht...";
    expect_refused("", dst, no_source);
    expect_refused(src + "/a.txt", dst, no_source);  // a file, not a folder
    expect_refused("/" + std::string(10'000, 'q'), dst, no_source);
    expect_refused(src + "/fehlt/.", dst, no_source);
    expect_refused(std::string(src).append(1, '\0').append("x"), dst, no_source);

    expect_refused(src, src + "/.", "Quell- und Zielverzeichnis sind identisch...");
    expect_refused(src + "/./", src + "//", "Quell- und Zielverzeichnis sind identisch...");
    expect_refused(src + "/unter/..", src, "Quell- und Zielverzeichnis sind identisch...");
    expect_refused(src, src + "/unter/.", "Quell- und Zielverzeichnis dürfen nicht ineinander liegen...");
    expect_refused(src, src + "/..", "Quell- und Zielverzeichnis dürfen nicht ineinander liegen...");
    expect_refused(src, "/", "Quell- und Zielverzeichnis dürfen nicht ineinander liegen...");
    const std::string relative = "Bitte Quell- und Zielverzeichnis mit vollständigem Pfad angeben (beginnend mit /)...";
    expect_refused("~", dst, relative);
    expect_refused(src, "~", relative);
    expect_refused(src, std::string(10'000, 'z'), relative);
    expect_refused(std::string(10'000, 'q'), dst, relative);
    EXPECT_TRUE(copied().empty());
}

TEST_F(Bad_Input, ATargetThatCannotBeMadeSaysSoAndCopiesNothing) {
    write_file(tmp / "eine_datei", "im Weg");
    for (const std::string& target : {tmp / "eine_datei", tmp / "eine_datei/unter",
                                      dst + "/" + std::string(10'000, 'z'), dst + "/" + std::string(256, 'z')}) {
        options.Targetfolder = target;
        host.boxes.clear();
        host.answer(Answer_Yes).answer(Answer_OK);
        start();
        ASSERT_EQ(prompts().size(), 2u) << target;
        EXPECT_EQ(prompts()[0], "Zielverzeichnis existiert nicht - soll es neu angelegt werden?");
        EXPECT_TRUE(prompts()[1].starts_with("Zielverzeichnis konnte nicht angelegt werden...")) << prompts()[1];
        EXPECT_TRUE(!display.run_under_way);
    }
    EXPECT_EQ(read_file(tmp / "eine_datei"), "im Weg");
    EXPECT_TRUE(copied().empty());
}

TEST_F(Bad_Input, FiltersOfSeparatorsBracketsBackslashesAndAThousandItems) {
    make_folders(dst);
    auto run_with = [&](const std::string& include, const std::string& exclude) {
        std::filesystem::remove_all(dst);
        make_folders(dst);
        options.Include_Filter = include;
        options.Exclude_Filter = exclude;
        host.boxes.clear();
        start();
        EXPECT_TRUE(host.boxes.empty()) << include << " / " << exclude;
        return copied();
    };
    const std::vector<std::string> all{"a.txt", "b.doc", "unter/c.txt"};
    EXPECT_EQ(run_with(";,; ,", ""), all);                           // empty items list every file
    EXPECT_EQ(run_with("*.*", ";,; ,"), all);                        // but exclude none
    EXPECT_EQ(run_with("[a].txt", ""), std::vector<std::string>{});  // no bracket classes: a literal name
    EXPECT_EQ(run_with("a\\.txt", ""), std::vector<std::string>{});
    EXPECT_EQ(run_with("**", ""), all);
    EXPECT_EQ(run_with("**.txt", "*\\*"), (std::vector<std::string>{"a.txt", "unter/c.txt"}));
    EXPECT_EQ(run_with("../*", ""), std::vector<std::string>{});  // a pattern never climbs out
    write_file(src + "/[a].txt", "klammer");
    EXPECT_EQ(run_with("[a].txt", ""), std::vector<std::string>{"[a].txt"});
    std::filesystem::remove(src + "/[a].txt");

    std::string thousand;
    for (int i = 0; i < 1000; ++i) thousand += (i ? ";" : "") + std::string("*.x") + std::to_string(i);
    EXPECT_EQ(run_with(thousand + ";*.doc", ""), std::vector<std::string>{"b.doc"});
    EXPECT_EQ(run_with("*.*", thousand + ",*.doc"), (std::vector<std::string>{"a.txt", "unter/c.txt"}));
    EXPECT_EQ(run_with(std::string(10'000, '*'), ""), all);
}

TEST_F(Bad_Input, DatesThatAreNoDatesOutOfRangeOrFarAhead) {
    make_folders(dst);
    auto run_with = [&](const std::string& date) {
        std::filesystem::remove_all(dst);
        make_folders(dst);
        later_then(date);
        host.boxes.clear();
        start();
        EXPECT_TRUE(host.boxes.empty()) << date;
        return copied().size();
    };
    // Before any date was recognised the filter date is the earliest one:
    // every file is later, nothing is held back by text nobody can read.
    EXPECT_EQ(run_with("kein Datum"), 3u);
    EXPECT_EQ(run_with("31.02.2020"), 3u);
    EXPECT_EQ(run_with("01.13.2020"), 3u);
    EXPECT_EQ(run_with("1.1.10000"), 3u);
    EXPECT_EQ(run_with(std::string(10'000, '9')), 3u);
    EXPECT_EQ(run_with("01.01.9999"), 0u);  // far ahead: nothing is later
    EXPECT_EQ(run_with("01.01.1000"), 3u);
    // A text that is no date after a valid one keeps the valid one in force.
    EXPECT_EQ(run_with("01.01.2030"), 0u);
    EXPECT_EQ(run_with("01.01.2030 kaputt"), 0u);
    EXPECT_EQ(run_with(""), 3u);  // an empty field switches the filter off
}

}  // namespace
}  // namespace zentrel::testing
