// Two windows of the program open and close many times at once on the same
// settings file: the file must parse at every moment, and in the end hold
// for each value what one of the two last closes stored, never an older
// round's value (a lost update) or a mix of both.
#include "common/temp_folder.h"
#include "platform/reg_file_format.h"
#include "reliability/reliability_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

namespace zentrel::testing {
namespace {

const char* const Settings_Key = "Software\\Marravel\\Zentrel";

std::vector<std::string> instance_arguments(const std::string& who, int rounds) {
    const std::string date = who == "A" ? "01.01.2001" : "02.02.2002";
    return {"--store-settings", std::to_string(rounds), "--source",     "/quelle/" + who + "-{}",
            "--target",         "/ziel/" + who + "-{}", "--include",    "*." + who + "{}",
            "--exclude",        "weg" + who + "{}.*",   "--newer-than", date};
}

std::optional<std::string> stored_text(const platform::reg_file::Document& document, const std::string& name) {
    const auto& keys = document.keys;
    for (const auto& key : keys) {
        if (!platform::reg_file::same_name(key.path, Settings_Key)) continue;
        if (const auto* value = platform::reg_file::find_value(key, name)) {
            std::string text = value->data;
            if (!text.empty() && text.back() == '\0') text.pop_back();
            return text;
        }
    }
    return std::nullopt;
}

TEST(Two_Instances, TheSettingsFileAlwaysParsesAndKeepsTheLastCloseOfEachValue) {
    const int rounds = long_form() ? 300 : 40;
    Temp_Folder tmp;
    const std::string file = tmp / "registry/HKEY_CURRENT_USER.reg";
    const std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "offscreen"},
                                                 {"ZENTREL_REGISTRY_DIR", tmp / "registry"}};

    std::atomic<int> running{2};
    Child_Result a, b;
    std::thread first([&] {
        a = run_driver(instance_arguments("A", rounds), env, std::nullopt);
        --running;
    });
    std::thread second([&] {
        b = run_driver(instance_arguments("B", rounds), env, std::nullopt);
        --running;
    });
    // Read the file as a third program would, as often as we can meanwhile.
    int reads = 0, damaged = 0;
    while (running > 0) {
        std::ifstream in(file, std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        ++reads;
        if (platform::reg_file::parse(text.str(), "HKEY_CURRENT_USER").damaged) ++damaged;
    }
    first.join();
    second.join();
    ASSERT_EQ(a.exit_code, 0) << a.output;
    ASSERT_EQ(b.exit_code, 0) << b.output;

    const std::string last = std::to_string(rounds - 1);
    std::printf("%d closes of each window, %d reads while they ran, %d damaged\n", rounds, reads, damaged);
    EXPECT_EQ(damaged, 0);
    const auto document = platform::reg_file::parse(read_file(file), "HKEY_CURRENT_USER");
    ASSERT_FALSE(document.damaged);
    const std::map<std::string, std::pair<std::string, std::string>> expected{
        {"Sourcefolder", {"/quelle/A-" + last, "/quelle/B-" + last}},
        {"Targetfolder", {"/ziel/A-" + last, "/ziel/B-" + last}},
        {"Include_Filter", {"*.A" + last, "*.B" + last}},
        {"Exclude_Filter", {"wegA" + last + ".*", "wegB" + last + ".*"}},
        {"Later_Then", {"01.01.2001", "02.02.2002"}},
    };
    for (const auto& [name, candidates] : expected) {
        const auto value = stored_text(document, name);
        ASSERT_TRUE(value) << name;
        EXPECT_TRUE(*value == candidates.first || *value == candidates.second)
            << name << " holds " << *value << ", not a value of either last close";
    }
    for (const char* box : {"Include_Subfolders", "Copy_Empty_Folders", "Only_newer", "Only_Archive", "Reset_Archive",
                            "Copy_SysFiles", "Copy_HiddenFiles", "Synchronize"})
        EXPECT_TRUE(stored_text(document, box)) << box;
}

}  // namespace
}  // namespace zentrel::testing
