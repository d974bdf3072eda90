// Synchronisations of the whole program, with their record, killed with
// SIGKILL at random moments after rounds of edits on both sides: after the
// next complete one, every edit is there on both sides (under its name or as
// a conflict's kept version), the two trees are alike, and no file is gone.
#include "common/temp_folder.h"
#include "reliability/reliability_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>

namespace zentrel::testing {
namespace {

TEST(Killed_Syncs, NoEditIsLostAndNoFileGoesOverRoundsOfEditsOnBothSides) {
    const int rounds = long_form() ? 100 : 8;
    std::mt19937_64 random = seeded_random();

    Temp_Folder tmp;
    const std::string laptop = tmp / "laptop", stick = tmp / "stick";
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) names.push_back("Ordner" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".txt");
    for (const std::string& name : names) {
        write_file(laptop + "/" + name, "erste Fassung " + name);
        set_mtime(laptop + "/" + name, 1'600'000'000);
    }
    make_folders(stick);
    const std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "offscreen"},
                                                 {"ZENTREL_REGISTRY_DIR", tmp / "registry"},
                                                 {"XDG_STATE_HOME", tmp / "state"}};
    const std::vector<std::string> sync{"--window", "--source", laptop, "--target", stick, "--sync"};
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(run_driver(sync, env, std::nullopt).exit_code, 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);

    int killed = 0, lost_edits = 0, gone_files = 0, unequal = 0, conflicts = 0;
    for (int round = 0; round < rounds; ++round) {
        // Six files edited on the laptop, six on the stick, three on both.
        std::set<std::string> edits;
        std::vector<std::string> chosen = names;
        std::shuffle(chosen.begin(), chosen.end(), random);
        for (int i = 0; i < 15; ++i) {
            const long long time = 1'600'000'100LL + round * 100 + i;
            const bool on_laptop = i < 6 || i >= 12, on_stick = i >= 6;
            if (on_laptop) {
                const std::string content = "Laptop, Runde " + std::to_string(round) + ", " + chosen[i];
                write_file(laptop + "/" + chosen[i], content);
                set_mtime(laptop + "/" + chosen[i], time);
                edits.insert(content);
            }
            if (on_stick) {
                const std::string content = "Stick, Runde " + std::to_string(round) + ": " + chosen[i];
                write_file(stick + "/" + chosen[i], content);
                set_mtime(stick + "/" + chosen[i], time + (on_laptop ? 1 : 0));
                edits.insert(content);
            }
        }
        const auto delay = std::chrono::microseconds(random() % (whole.count() + 1));
        if (run_driver(sync, env, delay).killed) ++killed;
        const Child_Result complete = run_driver(sync, env, std::nullopt);
        ASSERT_FALSE(complete.timed_out);

        const auto on_laptop = snapshot(laptop), on_stick = snapshot(stick);
        if (on_laptop != on_stick) {
            ++unequal;
            ADD_FAILURE() << "round " << round << ": the two sides differ\n" << complete.output;
        }
        std::set<std::string> contents;
        for (const auto& [path, image] : on_laptop) {
            contents.insert(image.content);
            if (path.find("(Konflikt ") != std::string::npos &&
                image.content.starts_with("Laptop, Runde " + std::to_string(round) + ","))
                ++conflicts;
        }
        for (const std::string& edit : edits) {
            if (!contents.contains(edit)) {
                ++lost_edits;
                ADD_FAILURE() << "round " << round << ": lost \"" << edit << "\" (kill after " << delay.count()
                              << " us)";
            }
        }
        for (const std::string& name : names) {
            if (!on_laptop.contains(name)) {
                ++gone_files;
                ADD_FAILURE() << "round " << round << ": " << name << " is gone";
            }
        }
    }
    std::printf(
        "%d synchronisations, %d killed: %d edits lost, %d files gone, %d times the sides differ; %d "
        "conflicts kept both versions\n",
        rounds, killed, lost_edits, gone_files, unequal, conflicts);
    EXPECT_EQ(conflicts, 3 * rounds);
}

}  // namespace
}  // namespace zentrel::testing
