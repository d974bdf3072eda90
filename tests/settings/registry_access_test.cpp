#include "settings/registry_access.h"

#include "platform/reg_file_format.h"
#include "settings/procedure_steps.h"
#include "settings/settings_report.h"
#include "settings_fixture.h"

#include <stdexcept>

namespace zentrel::settings {
namespace {

using platform::HKEY_CURRENT_USER;

class Registry_Access : public testing_support::Settings_Test {};

const std::string Open_Message =
    "Fehler beim Öffnen des Registrierungswerts: \r\nPfad=Software\\Marravel\\Zentrel\r\nDLL Rückgabewert=2";

TEST_F(Registry_Access, TextsRoundTripAndMissingOnesReadEmptyAndSilently) {
    EXPECT_EQ(Get_Setting(support, "Sourcefolder", false), "") << "no key yet";
    Save_Setting(support, "Sourcefolder", "/home/anna/Bilder Ä \"x\" \\y", false);
    Save_Setting(support, "Empty", "", false);
    Save_Setting(support, "Bytes", "/data/\xff\xfe", false);
    EXPECT_EQ(Get_Setting(support, "Sourcefolder", false), "/home/anna/Bilder Ä \"x\" \\y");
    EXPECT_EQ(Get_Setting(support, "sourcefolder", false), "/home/anna/Bilder Ä \"x\" \\y") << "names ignore case";
    EXPECT_EQ(Get_Setting(support, "Empty", false), "");
    EXPECT_EQ(Get_Setting(support, "Bytes", false), "/data/\xff\xfe");
    EXPECT_EQ(Get_Setting(support, "Never_Saved", false), "");
    EXPECT_TRUE(host.boxes.empty());

    // Saving creates every key of the path.
    auto document = platform::reg_file::parse(testing::read_file(registry_file()), "HKEY_CURRENT_USER");
    EXPECT_NE(document.find("Software"), nullptr);
    EXPECT_NE(document.find("Software\\Marravel"), nullptr);
    const auto* key = document.find("Software\\Marravel\\Zentrel");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(platform::reg_file::find_value(*key, "Sourcefolder")->type, platform::REG_SZ);
}

TEST_F(Registry_Access, TextsAreReadWholeUpTo64KiB) {
    const std::string longest(Longest_Setting, 'a');
    Save_Setting(support, "Fits", longest, false);
    Save_Setting(support, "Too_Long", longest + "b", false);
    EXPECT_EQ(Get_Setting(support, "Fits", false), longest);
    EXPECT_EQ(Get_Setting(support, "Too_Long", false), "");
    EXPECT_TRUE(host.boxes.empty());

    host.answer(support::Answer_OK);
    EXPECT_EQ(Get_Setting(support, "Too_Long", true), "");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt,
              "Fehler beim Lesen des Registrierungswerts: \r\nSchlüssel=Too_Long\r\nDLL Rückgabewert=234");
}

TEST_F(Registry_Access, FailedOpenReadAndWriteAreShownWithNameAndCode) {
    host.answer(support::Answer_OK);
    EXPECT_EQ(Get_Setting(support, "Sourcefolder", true), "");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].prompt, Open_Message);
    EXPECT_EQ(host.boxes[0].buttons, 0);
    EXPECT_EQ(host.boxes[0].title, "Quadrel");

    Save_Setting(support, "Targetfolder", "/t", false);
    host.answer(support::Answer_OK);
    EXPECT_EQ(Get_Setting(support, "Sourcefolder", true), "");
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[1].prompt,
              "Fehler beim Lesen des Registrierungswerts: \r\nSchlüssel=Sourcefolder\r\nDLL Rückgabewert=2");
    EXPECT_EQ(host.boxes[1].title, "Quadrel");

    make_registry_unwritable();
    EXPECT_FALSE(CreateRegEntry(support, HKEY_CURRENT_USER, Settings_Key, "Sourcefolder", "/s", 1, true));
    EXPECT_EQ(host.boxes.size(), 2u) << "quiet shows nothing";
    Save_Setting(support, "Sourcefolder", "/s", false);
    EXPECT_EQ(host.boxes.size(), 2u);
    host.answer(support::Answer_OK);
    Save_Setting(support, "Sourcefolder", "/s", true);
    ASSERT_EQ(host.boxes.size(), 3u);
    EXPECT_EQ(host.boxes[2].prompt,
              "Fehler beim Erstellen des Registrierungswerts: \r\nSchlüssel=Sourcefolder\r\nDLL Rückgabewert=5");
    EXPECT_EQ(host.boxes[2].buttons, 0);
    EXPECT_EQ(host.boxes[2].title, "Quadrel");
}

TEST_F(Registry_Access, ValuesAreReadByTheTypeStored) {
    store_raw("Number", platform::REG_DWORD, std::string("\x05\x00\x00\x00", 4));
    store_raw("Large", platform::REG_DWORD, std::string("\xff\xff\xff\xff", 4));
    store_raw("Binary", platform::REG_BINARY, std::string("\x01\x00\x02", 3));
    store_raw("Nothing", platform::REG_NONE, "\x01");
    store_raw("Empty_None", platform::REG_NONE, "");
    store_raw("Multi", 7, std::string("a\0b\0\0", 5));
    store_raw("Expand", platform::REG_EXPAND_SZ, "%HOME%/Bilder");
    store_raw("Long_Text", platform::REG_SZ, "more than four bytes");
    store_raw("", platform::REG_SZ, "the default");

    auto read = [&](const std::string& name, std::uint32_t requested) {
        return GetRegValue(support, HKEY_CURRENT_USER, Settings_Key, name, requested, false);
    };
    EXPECT_EQ(read("Number", 4), "5");
    EXPECT_EQ(read("Number", 1), "5");
    EXPECT_EQ(read("Large", 4), "4294967295");
    EXPECT_EQ(read("Binary", 1), "1");
    EXPECT_EQ(read("Nothing", 1), "1");
    EXPECT_EQ(read("Empty_None", 1), "") << "no data, no text";
    EXPECT_EQ(read("Multi", 1), "1");
    EXPECT_EQ(read("Expand", 2), "%HOME%/Bilder");
    EXPECT_EQ(read("Expand", 1), "%HOME%/Bilder");
    EXPECT_EQ(read("", 1), "the default");
    EXPECT_EQ(read("Number", 3), "") << "a requested type that is neither text nor number reads nothing";
    EXPECT_EQ(read("Long_Text", 4), "") << "does not fit four bytes";
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Registry_Access, CreateRegEntryWritesTextAndNumbersOnly) {
    EXPECT_TRUE(CreateRegEntry(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Text", "abc", 1, false));
    EXPECT_TRUE(CreateRegEntry(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Count", "1.000,5", 4, false));
    EXPECT_TRUE(CreateRegEntry(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Negative", "-2", 4, false));
    EXPECT_TRUE(CreateRegEntry(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Binary", "abc", 3, false));
    EXPECT_EQ(GetRegValue(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Text", 1, false), "abc");
    EXPECT_EQ(GetRegValue(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Count", 4, false), "1000")
        << "half to even";
    EXPECT_EQ(GetRegValue(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Negative", 4, false), "4294967294");
    EXPECT_EQ(GetRegValue(support, HKEY_CURRENT_USER, "Software\\New\\Deep", "Binary", 1, false), "")
        << "other types are not written";
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Registry_Access, AFailedConversionIsReportedWithRetryIgnoreAndAbort) {
    // Quiet: no message, no success.
    EXPECT_FALSE(CreateRegEntry(support, HKEY_CURRENT_USER, Settings_Key, "Count", "zwölf", 4, true));
    EXPECT_TRUE(host.boxes.empty());

    host.answer(support::Answer_Retry).answer(support::Answer_Retry).answer(support::Answer_Ignore);
    EXPECT_FALSE(CreateRegEntry(support, HKEY_CURRENT_USER, Settings_Key, "Count", "zwölf", 4, false))
        << "a skipped write is no success";
    ASSERT_EQ(host.boxes.size(), 3u) << "each retry fails and is reported again";
    EXPECT_EQ(host.boxes[0].prompt.rfind("Prozedurfehler in 'CreateRegEntry': ", 0), 0u) << host.boxes[0].prompt;
    EXPECT_NE(host.boxes[0].prompt.find("zwölf"), std::string::npos);
    EXPECT_EQ(host.boxes[0].buttons, 18);
    EXPECT_EQ(host.boxes[0].title, "Quadrel Fehler...");

    host.answer(support::Answer_Abort);
    EXPECT_FALSE(CreateRegEntry(support, HKEY_CURRENT_USER, Settings_Key, "Count", "1e20", 4, false));
    EXPECT_EQ(host.boxes.size(), 4u);
    EXPECT_EQ(GetRegValue(support, HKEY_CURRENT_USER, Settings_Key, "Count", 4, false), "") << "nothing written";
}

TEST_F(Registry_Access, StepProtocolRetriesSkipsAndAborts) {
    int calls = 0;
    auto fails_twice = [&] {
        if (++calls <= 2) throw std::runtime_error("Gerät nicht bereit");
    };
    host.answer(support::Answer_Retry).answer(support::Answer_Retry);
    EXPECT_EQ(Run_Step(support, "GetRegValue", true, fails_twice), Step_Outcome::Done);
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[0].prompt, "Prozedurfehler in 'GetRegValue': Gerät nicht bereit");

    auto always = [] { throw std::runtime_error("kaputt"); };
    host.answer(support::Answer_Ignore);
    EXPECT_EQ(Run_Step(support, "GetRegValue", true, always), Step_Outcome::Skipped);
    host.answer(support::Answer_Abort);
    EXPECT_EQ(Run_Step(support, "GetRegValue", true, always), Step_Outcome::Aborted);
    EXPECT_EQ(host.boxes.size(), 4u);
    EXPECT_EQ(Run_Step(support, "CreateRegEntry", false, always), Step_Outcome::Aborted);
    EXPECT_EQ(host.boxes.size(), 4u) << "unreported when quiet";
}

}  // namespace
}  // namespace zentrel::settings
