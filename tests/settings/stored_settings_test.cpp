#include "settings/stored_settings.h"

#include "common/fake_form.h"
#include "engine/run_state.h"
#include "platform/date_value.h"
#include "settings/registry_access.h"
#include "settings_fixture.h"

namespace zentrel::settings {
namespace {

using support::Control;

const Control Option_Boxes[] = {Control::Include_Subfolders, Control::Copy_Empty_Folders, Control::Only_newer,
                                Control::Only_Archive,       Control::Reset_Archive,      Control::Copy_SysFiles,
                                Control::Copy_HiddenFiles,   Control::Synchronize};

class Stored_Settings : public testing_support::Settings_Test {
protected:
    // A window that opens now, with its load handler run.
    testing::Fake_Form& open_window() {
        state = engine::Run_State{};
        form = std::make_unique<testing::Fake_Form>(&state, platform::Regional_Settings::german());
        Load_Settings(*form, support);
        return *form;
    }
    void save(const std::string& name, const std::string& text) { Save_Setting(support, name, text, false); }

    engine::Run_State state;
    std::unique_ptr<testing::Fake_Form> form;
};

TEST_F(Stored_Settings, FirstStartShowsTheDefaults) {
    testing::Fake_Form& window = open_window();
    EXPECT_EQ(window.Text(Control::Sourcefolder), "");
    EXPECT_EQ(window.Text(Control::Targetfolder), "");
    EXPECT_EQ(window.Text(Control::Include_Filter), "*.*");
    EXPECT_EQ(window.Text(Control::Exclude_Filter), "");
    EXPECT_EQ(window.Text(Control::Later_then), "");
    for (Control box : Option_Boxes) EXPECT_EQ(window.Check_State(box), 0) << support::control_name(box);
    EXPECT_FALSE(window.Enabled(Control::Copy_Empty_Folders));
    EXPECT_TRUE(window.Enabled(Control::Only_newer));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Stored_Settings, ThirteenValuesSurviveARestart) {
    testing::Fake_Form first;
    first.Set_Text(Control::Sourcefolder, "/home/anna/Fotos");
    first.Set_Text(Control::Targetfolder, "/media/backup/Fotos \xff");
    first.Set_Text(Control::Include_Filter, "*.jpg;*.png");
    first.Set_Text(Control::Exclude_Filter, "*.tmp");
    first.Set_Text(Control::Later_then, "01.02.2024 09:05:00");
    for (Control box : {Control::Include_Subfolders, Control::Copy_Empty_Folders, Control::Only_Archive,
                        Control::Reset_Archive, Control::Copy_SysFiles, Control::Copy_HiddenFiles})
        first.Set_Check_State(box, 1);
    Save_Settings(first, support);

    testing::Fake_Form& window = open_window();
    EXPECT_EQ(window.Text(Control::Sourcefolder), "/home/anna/Fotos");
    EXPECT_EQ(window.Text(Control::Targetfolder), "/media/backup/Fotos \xff");
    EXPECT_EQ(window.Text(Control::Include_Filter), "*.jpg;*.png");
    EXPECT_EQ(window.Text(Control::Exclude_Filter), "*.tmp");
    EXPECT_EQ(window.Text(Control::Later_then), "01.02.2024 09:05:00");
    EXPECT_EQ(state.Later_Then_Date, platform::make_date_value(2024, 2, 1, 9, 5, 0));
    for (Control box : Option_Boxes)
        EXPECT_EQ(window.Check_State(box), box == Control::Only_newer || box == Control::Synchronize ? 0 : 1)
            << support::control_name(box);
    EXPECT_TRUE(window.Enabled(Control::Copy_Empty_Folders));
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
    testing::Fake_Form& window = open_window();
    EXPECT_EQ(window.Check_State(Control::Synchronize), 1);
    EXPECT_EQ(window.Check_State(Control::Only_newer), 1);
    EXPECT_FALSE(window.Enabled(Control::Only_newer));
    EXPECT_EQ(window.Check_State(Control::Copy_Empty_Folders), 1);
    EXPECT_FALSE(window.Enabled(Control::Copy_Empty_Folders));

    save("Include_Subfolders", "1");
    save("Synchronize", "0");
    testing::Fake_Form& again = open_window();
    EXPECT_TRUE(again.Enabled(Control::Copy_Empty_Folders));
    EXPECT_TRUE(again.Enabled(Control::Only_newer));
    EXPECT_EQ(again.Check_State(Control::Only_newer), 0);
}

TEST_F(Stored_Settings, ClearedFieldsKeepTheStoredFolderButNotTheFilter) {
    save("Sourcefolder", "/old/source");
    save("Targetfolder", "/old/target");
    save("Include_Filter", "*.doc");
    testing::Fake_Form& window = open_window();
    window.Set_Text(Control::Sourcefolder, "");
    window.Set_Text(Control::Targetfolder, "");
    window.Set_Text(Control::Include_Filter, "");
    Save_Settings(window, support);
    EXPECT_EQ(Get_Setting(support, "Include_Filter", false), "");
    testing::Fake_Form& next = open_window();
    EXPECT_EQ(next.Text(Control::Sourcefolder), "/old/source");
    EXPECT_EQ(next.Text(Control::Targetfolder), "/old/target");
    EXPECT_EQ(next.Text(Control::Include_Filter), "*.*");
}

TEST_F(Stored_Settings, StoredCheckStatesAreRoundedAndOnlyBoxStatesAccepted) {
    const struct {
        const char* stored;
        int state;
    } cases[] = {{"1", 1},    {"2", 2}, {"0", 0},  {"1.5", 2}, {"1,5", 2}, {"0.5", 0},   {"2,5", 2},
                 {"0,51", 1}, {"3", 0}, {"-1", 0}, {"abc", 0}, {"", 0},    {"1e300", 0}, {" 1 ", 1}};
    for (const auto& c : cases) {
        save("Only_Archive", c.stored);
        EXPECT_EQ(open_window().Check_State(Control::Only_Archive), c.state) << '"' << c.stored << '"';
    }
}

TEST_F(Stored_Settings, StoredDatesComeBackInTheRegionalShortForm) {
    save("Later_Then", "1.2.2024");
    EXPECT_EQ(open_window().Text(Control::Later_then), "01.02.2024");
    EXPECT_EQ(state.Later_Then_Date, platform::make_date_value(2024, 2, 1));

    save("Later_Then", " 5.6.24 7:08");
    EXPECT_EQ(open_window().Text(Control::Later_then), "05.06.2024 07:08:00");

    // No date: the window opens with the field empty and no filter date.
    save("Later_Then", "31.02.2024");
    testing::Fake_Form& window = open_window();
    EXPECT_EQ(window.Text(Control::Later_then), "");
    EXPECT_EQ(state.Later_Then_Date, 0.0);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Stored_Settings, TooLongFolderIsNotRestored) {
    const std::string deep = "/" + std::string(300, 'd');
    save("Sourcefolder", deep);
    EXPECT_EQ(open_window().Text(Control::Sourcefolder), "");
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Stored_Settings, UnusableStoreNeverShowsAMessage) {
    make_registry_unwritable();
    testing::Fake_Form& window = open_window();
    EXPECT_EQ(window.Text(Control::Include_Filter), "*.*");
    window.Set_Text(Control::Sourcefolder, "/s");
    Save_Settings(window, support);
    EXPECT_TRUE(host.boxes.empty());

    // A damaged file still opens the window with what it holds.
    setenv("ZENTREL_REGISTRY_DIR", registry_folder().c_str(), 1);
    testing::write_file(registry_file(),
                        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n\"Sourcefolder\"=\"/kept\"\n"
                        "\"Targetfolder\"=\"/cut off");
    testing::Fake_Form& damaged = open_window();
    EXPECT_EQ(damaged.Text(Control::Sourcefolder), "/kept");
    EXPECT_EQ(damaged.Text(Control::Targetfolder), "");
    EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace zentrel::settings
