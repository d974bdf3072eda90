#include "settings/stored_settings.h"

#include "settings/option_interlocks.h"
#include "settings/registry_access.h"
#include "settings_fixture.h"

namespace zentrel::settings {
namespace {

class Stored_Settings : public testing_support::Settings_Test {
protected:
    void save(const std::string& name, const std::string& text) { Save_Setting(support, name, text, false); }
};

TEST_F(Stored_Settings, FirstStartShowsTheDefaults) {
    Job_Settings expected;
    expected.Include_Filter = "*.*";
    const Job_Settings loaded = Load_Settings(support);
    EXPECT_EQ(loaded, expected);
    EXPECT_FALSE(Option_Enabled(loaded, &Job_Settings::Copy_Empty_Folders));
    EXPECT_TRUE(Option_Enabled(loaded, &Job_Settings::Only_newer));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Stored_Settings, ThirteenValuesSurviveARestart) {
    Job_Settings first;
    first.Sourcefolder = "/home/anna/Fotos";
    first.Targetfolder = "/media/backup/Fotos \xff";
    first.Include_Filter = "*.jpg;*.png";
    first.Exclude_Filter = "*.tmp";
    first.Later_Then = "01.02.2024 09:05:00";
    for (Option_Box box : Option_Boxes) first.*box = 1;
    first.Only_newer = first.Synchronize = 0;
    first.Copy_HiddenFiles = 2;  // a grey box stays grey
    Save_Settings(first, support);

    const Job_Settings loaded = Load_Settings(support);
    EXPECT_EQ(loaded, first);
    EXPECT_TRUE(Option_Enabled(loaded, &Job_Settings::Copy_Empty_Folders));
    EXPECT_TRUE(host.boxes.empty());

    // Everything is stored as text.
    EXPECT_EQ(Get_Setting(support, "Include_Subfolders", false), "1");
    EXPECT_EQ(Get_Setting(support, "Synchronize", false), "0");
    EXPECT_EQ(Get_Setting(support, "Later_Then", false), "01.02.2024 09:05:00");
}

TEST_F(Stored_Settings, LoadOrderSettlesTheInterlockedBoxes) {
    save("Synchronize", "1");
    save("Only_newer", "0");
    save("Include_Subfolders", "0");
    save("Copy_Empty_Folders", "1");
    const Job_Settings window = Load_Settings(support);
    EXPECT_EQ(window.Synchronize, 1);
    EXPECT_EQ(window.Only_newer, 1);
    EXPECT_FALSE(Option_Enabled(window, &Job_Settings::Only_newer));
    EXPECT_EQ(window.Copy_Empty_Folders, 1);
    EXPECT_FALSE(Option_Enabled(window, &Job_Settings::Copy_Empty_Folders));

    save("Include_Subfolders", "1");
    save("Synchronize", "0");
    const Job_Settings again = Load_Settings(support);
    EXPECT_TRUE(Option_Enabled(again, &Job_Settings::Copy_Empty_Folders));
    EXPECT_TRUE(Option_Enabled(again, &Job_Settings::Only_newer));
    EXPECT_EQ(again.Only_newer, 0);
}

TEST_F(Stored_Settings, ClearedFieldsKeepTheStoredFolderButNotTheFilter) {
    save("Sourcefolder", "/old/source");
    save("Targetfolder", "/old/target");
    save("Include_Filter", "*.doc");
    Job_Settings window = Load_Settings(support);
    window.Sourcefolder = window.Targetfolder = window.Include_Filter = "";
    Save_Settings(window, support);
    EXPECT_EQ(Get_Setting(support, "Include_Filter", false), "");
    const Job_Settings next = Load_Settings(support);
    EXPECT_EQ(next.Sourcefolder, "/old/source");
    EXPECT_EQ(next.Targetfolder, "/old/target");
    EXPECT_EQ(next.Include_Filter, "*.*");
}

TEST_F(Stored_Settings, StoredCheckStatesAreRoundedAndOnlyBoxStatesAccepted) {
    const struct {
        const char* stored;
        int state;
    } cases[] = {{"1", 1},    {"2", 2}, {"0", 0},  {"1.5", 2}, {"1,5", 2}, {"0.5", 0},   {"2,5", 2},
                 {"0,51", 1}, {"3", 0}, {"-1", 0}, {"abc", 0}, {"", 0},    {"1e300", 0}, {" 1 ", 1}};
    for (const auto& c : cases) {
        save("Only_Archive", c.stored);
        EXPECT_EQ(Load_Settings(support).Only_Archive, c.state) << '"' << c.stored << '"';
    }
}

TEST_F(Stored_Settings, StoredDatesComeBackInTheRegionalShortForm) {
    save("Later_Then", "1.2.2024");
    EXPECT_EQ(Load_Settings(support).Later_Then, "01.02.2024");

    save("Later_Then", " 5.6.24 7:08");
    EXPECT_EQ(Load_Settings(support).Later_Then, "05.06.2024 07:08:00");

    // No date: the window opens with the field empty and no filter date.
    save("Later_Then", "31.02.2024");
    EXPECT_EQ(Load_Settings(support).Later_Then, "");
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Stored_Settings, TooLongFolderIsNotRestored) {
    const std::string deep = "/" + std::string(300, 'd');
    save("Sourcefolder", deep);
    EXPECT_EQ(Load_Settings(support).Sourcefolder, "");
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Stored_Settings, UnusableStoreNeverShowsAMessage) {
    make_registry_unwritable();
    Job_Settings window = Load_Settings(support);
    EXPECT_EQ(window.Include_Filter, "*.*");
    window.Sourcefolder = "/s";
    Save_Settings(window, support);
    EXPECT_TRUE(host.boxes.empty());

    // A damaged file still opens the window with what it holds.
    setenv("ZENTREL_REGISTRY_DIR", registry_folder().c_str(), 1);
    testing::write_file(registry_file(),
                        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n\"Sourcefolder\"=\"/kept\"\n"
                        "\"Targetfolder\"=\"/cut off");
    const Job_Settings damaged = Load_Settings(support);
    EXPECT_EQ(damaged.Sourcefolder, "/kept");
    EXPECT_EQ(damaged.Targetfolder, "");
    EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace zentrel::settings
