// A run of the whole program killed with SIGKILL at a random moment must
// leave every file of the target whole (its old version or the source's),
// the source untouched, and a complete run afterwards must bring the target
// level with the source.
#include "common/temp_folder.h"
#include "platform/file_objects.h"
#include "reliability/reliability_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

namespace zentrel::testing {
namespace {

constexpr const char* Parking_Name = "$$$Temp1$$$";

std::string folder_part(const std::string& relative) {
    const auto slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string name_part(const std::string& relative) {
    const auto slash = relative.rfind('/');
    return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

struct Findings {
    int damaged = 0;         // a file under a real name that is neither version
    int foreign = 0;         // a real name that neither tree had
    int bad_parked = 0;      // a parked file that is no old version of its folder
    int partial_copies = 0;  // hidden copies in progress left by the kill
    int parked = 0;
    std::vector<std::string> notes;
};

// Checks the target against the two versions every file may have.
Findings inspect_target(const std::string& target, const std::map<std::string, File_Image>& source,
                        const std::map<std::string, File_Image>& old) {
    Findings findings;
    for (const auto& [relative, image] : snapshot(target)) {
        const std::string name = name_part(relative);
        if (platform::is_partial_copy_name(name)) {
            ++findings.partial_copies;
            continue;
        }
        if (name == Parking_Name) {
            ++findings.parked;
            bool matches_old = false;
            for (const auto& [old_path, old_image] : old)
                if (folder_part(old_path) == folder_part(relative) && old_image.content == image.content)
                    matches_old = true;
            if (!matches_old) {
                ++findings.bad_parked;
                findings.notes.push_back("parked file is no old version: " + relative);
            }
            continue;
        }
        auto from_source = source.find(relative);
        auto from_old = old.find(relative);
        if (from_source == source.end() && from_old == old.end()) {
            ++findings.foreign;
            findings.notes.push_back("unknown file: " + relative);
            continue;
        }
        const bool is_new = from_source != source.end() && from_source->second == image;
        const bool is_old = from_old != old.end() && from_old->second == image;
        if (!is_new && !is_old) {
            ++findings.damaged;
            findings.notes.push_back("damaged (neither version, content and time): " + relative);
        }
    }
    return findings;
}

std::map<std::string, std::string> private_registry(const Temp_Folder& tmp) {
    return {{"QT_QPA_PLATFORM", "offscreen"}, {"ZENTREL_REGISTRY_DIR", tmp / "registry"}};
}

TEST(Killed_Runs, Every_Kill_Leaves_Whole_Files_And_A_Complete_Run_Converges) {
    const bool full = long_form();
    const int kills = full ? 200 : 20;
    std::mt19937_64 random = seeded_random();

    Temp_Folder tmp;
    const std::string source = tmp / "quelle";
    generate_tree(source, random, 500, 30, 6);
    const auto source_images = snapshot(source);
    const std::vector<std::string> copy_arguments{"--window", "--source", source, "--target", tmp / "ziel"};

    // How long one complete run takes decides where the kills fall.
    {
        std::mt19937_64 scratch(random());
        write_old_versions(source, tmp / "ziel", scratch);
        const auto begin = std::chrono::steady_clock::now();
        const Child_Result timed = run_driver(copy_arguments, private_registry(tmp), std::nullopt);
        ASSERT_EQ(timed.exit_code, 0) << timed.output;
        const auto took = std::chrono::steady_clock::now() - begin;
        std::printf("a complete run takes %lld ms\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        std::filesystem::remove_all(tmp / "ziel");
        // A little short of the whole, so that nearly every kill lands.
        auto max_delay = std::chrono::duration_cast<std::chrono::microseconds>(took) * 9 / 10;

        int killed = 0, ended_first = 0, damaged = 0, source_changes = 0, bad_parked = 0, left_partial = 0,
            partial_after = 0, parked_after = 0;
        auto kill_and_inspect = [&](const std::map<std::string, File_Image>& old, std::chrono::microseconds delay,
                                    int cycle, bool whole_run) {
            const Child_Result run = run_driver(copy_arguments, private_registry(tmp), delay);
            ASSERT_FALSE(run.timed_out) << run.output;
            if (run.killed) {
                ++killed;
            } else {
                ++ended_first;
                // The machine is faster now than when the length was taken.
                if (whole_run) max_delay = run.elapsed * 9 / 10;
            }
            const Findings found = inspect_target(tmp / "ziel", source_images, old);
            damaged += found.damaged + found.foreign;
            bad_parked += found.bad_parked;
            left_partial += found.partial_copies;
            for (const std::string& note : found.notes)
                ADD_FAILURE() << "cycle " << cycle << ", kill after " << delay.count() << " us: " << note;
            if (snapshot(source) != source_images) {
                ++source_changes;
                ADD_FAILURE() << "the source changed in cycle " << cycle;
            }
        };
        // Each cycle starts from the old versions, kills a run at a random
        // moment of its whole length, every second cycle kills the next run
        // too (a kill of a run that found a killed run's leftovers), then
        // lets one run complete.
        for (int cycle = 0; killed < kills; ++cycle) {
            ASSERT_LT(cycle, 5 * kills) << "the runs end before their kills";
            std::filesystem::remove_all(tmp / "ziel");
            const auto old = write_old_versions(source, tmp / "ziel", random);
            kill_and_inspect(old, std::chrono::microseconds(random() % (max_delay.count() + 1)), cycle, true);
            if (cycle % 2 && killed < kills)
                kill_and_inspect(old, std::chrono::microseconds(random() % (max_delay.count() / 2 + 1)), cycle, false);

            const Child_Result complete = run_driver(copy_arguments, private_registry(tmp), std::nullopt);
            EXPECT_EQ(complete.exit_code, 0) << complete.output;
            const Findings after = inspect_target(tmp / "ziel", source_images, old);
            partial_after += after.partial_copies;
            parked_after += after.parked;
            bad_parked += after.bad_parked;
            // Level with the source: every file, content and time.
            std::map<std::string, File_Image> real_names;
            for (auto& [relative, image] : snapshot(tmp / "ziel")) {
                const std::string name = name_part(relative);
                if (name != Parking_Name && !platform::is_partial_copy_name(name)) real_names[relative] = image;
            }
            EXPECT_TRUE(real_names == source_images) << "cycle " << cycle << " did not converge";
        }
        std::printf(
            "%d runs killed, %d files damaged (%d runs ended before their kill); source changed %d times; "
            "%d parked files not an old version; %d hidden partial copies seen after kills, %d left after "
            "the complete runs; %d parked old versions left after the complete runs\n",
            killed, damaged, ended_first, source_changes, bad_parked, left_partial, partial_after, parked_after);
        EXPECT_EQ(damaged, 0);
        EXPECT_EQ(bad_parked, 0);
        EXPECT_EQ(partial_after, 0) << "a complete run leaves no stale partial copy in a folder it copied into";
        // A killed run's parked old version sits beside the file that has
        // replaced it once a run completes: it is shown stale and goes.
        EXPECT_EQ(parked_after, 0) << "a complete run leaves no stale parked old version";
    }
}

}  // namespace
}  // namespace zentrel::testing
