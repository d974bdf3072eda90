#include "settings/stored_settings.h"

#include "platform/reg_file_store.h"
#include "settings/option_interlocks.h"
#include "settings/registry_access.h"
#include "settings_fixture.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <functional>

namespace zentrel::settings {
namespace {

class Stored_Settings : public testing_support::Settings_Test {
protected:
    void save(const std::string& name, const std::string& text) { Save_Setting(support, name, text, false); }
};

TEST_F(Stored_Settings, FirstStartShowsTheDefaults) {
    Job_Options expected;
    expected.Include_Filter = "*.*";
    const Job_Options loaded = Load_Settings(support);
    EXPECT_EQ(loaded, expected);
    EXPECT_FALSE(Option_Enabled(loaded, &Job_Options::Copy_Empty_Folders));
    EXPECT_TRUE(Option_Enabled(loaded, &Job_Options::Only_newer));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Stored_Settings, ThirteenValuesSurviveARestart) {
    Job_Options first;
    first.Sourcefolder = "/home/anna/Fotos";
    first.Targetfolder = "/media/backup/Fotos \xff";
    first.Include_Filter = "*.jpg;*.png";
    first.Exclude_Filter = "*.tmp";
    first.Later_then = "01.02.2024 09:05:00";
    for (const Option_Box_Entry& box : Option_Boxes) first.*box.member = 1;
    first.Only_newer = first.Synchronize = 0;
    first.Copy_HiddenFiles = 2;  // a grey box stays grey
    Save_Settings(first, support);

    const Job_Options loaded = Load_Settings(support);
    EXPECT_EQ(loaded, first);
    EXPECT_TRUE(Option_Enabled(loaded, &Job_Options::Copy_Empty_Folders));
    EXPECT_TRUE(host.boxes.empty());

    // Everything is stored as text.
    EXPECT_EQ(Get_Setting(support, "Include_Subfolders", false), "1");
    EXPECT_EQ(Get_Setting(support, "Synchronize", false), "0");
    EXPECT_EQ(Get_Setting(support, "Later_Then", false), "2024-02-01T09:05:00") << "dates are stored in ISO 8601";
}

TEST_F(Stored_Settings, LoadOrderSettlesTheInterlockedBoxes) {
    save("Synchronize", "1");
    save("Only_newer", "0");
    save("Include_Subfolders", "0");
    save("Copy_Empty_Folders", "1");
    const Job_Options window = Load_Settings(support);
    EXPECT_EQ(window.Synchronize, 1);
    EXPECT_EQ(window.Only_newer, 1);
    EXPECT_FALSE(Option_Enabled(window, &Job_Options::Only_newer));
    EXPECT_EQ(window.Copy_Empty_Folders, 1);
    EXPECT_FALSE(Option_Enabled(window, &Job_Options::Copy_Empty_Folders));

    save("Include_Subfolders", "1");
    save("Synchronize", "0");
    const Job_Options again = Load_Settings(support);
    EXPECT_TRUE(Option_Enabled(again, &Job_Options::Copy_Empty_Folders));
    EXPECT_TRUE(Option_Enabled(again, &Job_Options::Only_newer));
    EXPECT_EQ(again.Only_newer, 0);
}

TEST_F(Stored_Settings, ClearedFieldsKeepTheStoredFolderButNotTheFilter) {
    save("Sourcefolder", "/old/source");
    save("Targetfolder", "/old/target");
    save("Include_Filter", "*.doc");
    Job_Options window = Load_Settings(support);
    window.Sourcefolder = window.Targetfolder = window.Include_Filter = "";
    Save_Settings(window, support);
    EXPECT_EQ(Get_Setting(support, "Include_Filter", false), "");
    const Job_Options next = Load_Settings(support);
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
    EXPECT_EQ(Load_Settings(support).Later_then, "01.02.2024");

    save("Later_Then", " 5.6.24 7:08");
    EXPECT_EQ(Load_Settings(support).Later_then, "05.06.2024 07:08:00");

    // No date: the window opens with the field empty and no filter date.
    save("Later_Then", "31.02.2024");
    EXPECT_EQ(Load_Settings(support).Later_then, "");
    EXPECT_TRUE(host.boxes.empty());
}

// Filters longer than any read buffer a person would guess at are read
// whole, kept whole by an unchanged close, and only texts past the limit are
// refused, by name.
TEST_F(Stored_Settings, LongValuesAreReadWholeAndOnlyThosePastTheLimitRefused) {
    std::string exclude;
    while (exclude.size() < 277) exclude += "*.tmp;*.bak;*.key;";
    const std::string include(329, 'i');
    const std::string longest = "/" + std::string(Longest_Setting - 1, 'd');
    Save_Settings(Load_Settings(support), support);
    save("Exclude_Filter", exclude);
    save("Include_Filter", include);
    save("Sourcefolder", longest);
    save("Targetfolder", longest + "x");
    Load_Report report;
    const Job_Options loaded = Load_Settings(support, report);
    EXPECT_EQ(loaded.Exclude_Filter, exclude);
    EXPECT_EQ(loaded.Include_Filter, include);
    EXPECT_TRUE(loaded.Sourcefolder == longest);
    EXPECT_EQ(loaded.Targetfolder, "");
    ASSERT_EQ(report.refused.size(), 1u);
    EXPECT_EQ(report.refused[0].name, "Targetfolder");
    EXPECT_NE(Load_Report_Text(report, false).find("'Targetfolder' ist mit 65538 Bytes zu lang"), std::string::npos)
        << Load_Report_Text(report, false);

    // A close that changed nothing leaves every value, the refused one too.
    const std::string before = testing::read_file(registry_file());
    EXPECT_EQ(Save_Settings(loaded, support).code, 0);
    EXPECT_TRUE(testing::read_file(registry_file()) == before);

    Job_Options typed = loaded;
    typed.Sourcefolder = longest + "y";
    const Save_Report saved = Save_Settings(typed, support);
    EXPECT_EQ(saved.not_written, std::vector<std::string>{"Sourcefolder"});
    EXPECT_NE(Save_Report_Text(saved).find("Sourcefolder"), std::string::npos);
    EXPECT_TRUE(Load_Settings(support).Sourcefolder == longest) << "what is stored stays";
    EXPECT_TRUE(host.boxes.empty());
}

// The window stores the date in ISO 8601 whatever its regional rules; a run
// under any other rules reads the same day. Older files hold the regional
// text: read by the reader's rules, and named when they are no date there.
TEST_F(Stored_Settings, DatesAreStoredInOneFormEveryLocaleReads) {
    platform::Regional_Settings english;  // month first, "/"
    support::Support_Routines scheduler{host, platform::real_file_system(), english};
    Job_Options window = Load_Settings(support);
    window.Later_then = "01.06.2024";
    Save_Settings(window, support);
    EXPECT_EQ(Get_Setting(support, "Later_Then", false), "2024-06-01");
    Load_Report report;
    EXPECT_EQ(Load_Settings(scheduler, report).Later_then, "06/01/2024");
    EXPECT_TRUE(report.refused.empty());
    EXPECT_EQ(Load_Settings(support).Later_then, "01.06.2024");

    window.Later_then = "5.6.24 7:08";
    Save_Settings(window, support);
    EXPECT_EQ(Get_Setting(support, "Later_Then", false), "2024-06-05T07:08:00");
    EXPECT_EQ(Load_Settings(scheduler).Later_then, "06/05/2024 07:08:00");

    // A text that is no date is stored as typed; the start refuses it.
    window.Later_then = "gestern";
    Save_Settings(window, support);
    EXPECT_EQ(Get_Setting(support, "Later_Then", false), "gestern");

    save("Later_Then", "01.06.2024");
    EXPECT_EQ(Load_Settings(support, report).Later_then, "01.06.2024");
    EXPECT_TRUE(report.refused.empty());
    EXPECT_EQ(Load_Settings(scheduler, report).Later_then, "");
    ASSERT_EQ(report.refused.size(), 1u);
    EXPECT_EQ(report.refused[0].reason, Refused_Value::Reason::Not_A_Date);
    EXPECT_NE(Load_Report_Text(report, false).find("'Later_Then' ('01.06.2024') ist kein Datum"), std::string::npos);
}

// Renames of the settings file into place while act runs: each save is one.
int renames_into_place(const std::string& folder, const std::function<void()>& act) {
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(::inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO), 0);
    act();
    int renames = 0;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len && std::string(event->name) == "HKEY_CURRENT_USER.reg") ++renames;
            at += sizeof(inotify_event) + event->len;
        }
    ::close(watch);
    return renames;
}

TEST_F(Stored_Settings, ACloseWritesTheFileOnceAndNotAtAllWhenNothingChanged) {
    testing::make_folders(registry_folder());
    Job_Options window = Load_Settings(support);
    window.Sourcefolder = "/s";
    window.Later_then = "01.06.2024";
    window.Synchronize = window.Only_newer = 1;
    EXPECT_EQ(renames_into_place(registry_folder(), [&] { EXPECT_EQ(Save_Settings(window, support).code, 0); }), 1);
    const Job_Options reopened = Load_Settings(support);
    EXPECT_EQ(renames_into_place(registry_folder(), [&] { EXPECT_EQ(Save_Settings(reopened, support).code, 0); }), 0);
    window.Exclude_Filter = "*.tmp";
    EXPECT_EQ(renames_into_place(registry_folder(), [&] { Save_Settings(window, support); }), 1);
    EXPECT_EQ(Load_Settings(support).Exclude_Filter, "*.tmp");
}

// The load and the save never show a box themselves: they report, and each
// front end says it once, naming the file, what was kept and where the
// damaged file is kept.
TEST_F(Stored_Settings, DamagedMisplacedAndUnsavableFilesAreReportedNotShown) {
    make_registry_unwritable();
    Load_Report report;
    Job_Options window = Load_Settings(support, report);
    EXPECT_EQ(window.Include_Filter, "*.*");
    EXPECT_EQ(report.state, Store_State::Missing);
    EXPECT_EQ(Load_Report_Text(report, true), "");
    window.Sourcefolder = "/s";
    const Save_Report unsaved = Save_Settings(window, support);
    EXPECT_NE(unsaved.code, 0);
    EXPECT_EQ(Save_Report_Text(unsaved),
              "Die Einstellungen konnten nicht in '" + report.file + "' gespeichert werden (Not a directory).");

    setenv("ZENTREL_REGISTRY_DIR", registry_folder().c_str(), 1);
    const std::string content =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n\"Sourcefolder\"=\"/kept\"\n"
        "\"Targetfolder\"=\"/cut off";
    testing::write_file(registry_file(), content);
    const Job_Options damaged = Load_Settings(support, report);
    EXPECT_EQ(damaged.Sourcefolder, "/kept");
    EXPECT_EQ(damaged.Targetfolder, "");
    EXPECT_EQ(report.state, Store_State::Damaged);
    EXPECT_EQ(report.kept, std::vector<std::string>{"Sourcefolder"});
    EXPECT_EQ(Load_Report_Text(report, true),
              "Die Einstellungsdatei '" + registry_file() +
                  "' ist beschädigt (ab Zeile 5). Übernommen wurden: Sourcefolder. Beim Schließen wird sie neu "
                  "geschrieben; die beschädigte Fassung bleibt als '" +
                  registry_file() + ".damaged' erhalten.");
    EXPECT_EQ(Save_Settings(damaged, support).code, 0);
    EXPECT_EQ(testing::read_file(registry_file() + ".damaged"), content);
    Load_Settings(support, report);
    EXPECT_EQ(report.state, Store_State::Sound);

    // Past the size limit: nothing read (a sparse file, nothing written).
    ASSERT_EQ(::truncate(registry_file().c_str(), platform::reg_file::Largest_File + 1), 0);
    EXPECT_EQ(Load_Settings(support, report).Sourcefolder, "");
    EXPECT_EQ(report.state, Store_State::Too_Large);
    EXPECT_NE(Load_Report_Text(report, false).find("zu groß"), std::string::npos);

    // A folder where the file belongs: nothing loaded, and nothing saved.
    ::unlink(registry_file().c_str());
    testing::make_folders(registry_file());
    Load_Settings(support, report);
    EXPECT_EQ(report.state, Store_State::Not_A_File);
    EXPECT_EQ(Load_Report_Text(report, false), "An der Stelle der Einstellungsdatei '" + registry_file() +
                                                   "' steht ein Ordner; es wurden keine Einstellungen geladen.");
    EXPECT_NE(Save_Settings(window, support).code, 0);
    EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace zentrel::settings
