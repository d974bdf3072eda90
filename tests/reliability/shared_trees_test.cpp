// Two runs at once into one target, and folders swapped for links while a
// run is under way: no file is lost or gets another file's content, and
// nothing outside the two folders is touched.
#include "common/temp_folder.h"
#include "reliability/reliability_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace zentrel::testing {
namespace {

// The same names as source, each with content of its own and a time a
// little later than the last round's, so that every round copies them all.
void write_variant(const std::map<std::string, File_Image>& shape, const std::string& root, const std::string& tag,
                   int round) {
    for (const auto& [relative, image] : shape) {
        write_file(root + "/" + relative, tag + std::to_string(round) + ":" + relative + ":" + image.content);
        set_mtime(root + "/" + relative, image.seconds + round * 10 + (tag == "B" ? 5 : 0), image.nanoseconds);
    }
}

std::vector<std::string> engine_run(const std::string& source, const std::string& target) {
    return {"--engine", "--source", source, "--target", target};
}

TEST(Shared_Trees, TwoRunsIntoOneTargetLoseAndMixNothing) {
    const int rounds = long_form() ? 100 : 4;
    Temp_Folder tmp;
    std::mt19937_64 random(4711);
    generate_tree(tmp / "form", random, long_form() ? 400 : 120, 15, 2);
    const auto shape = snapshot(tmp / "form");
    int damaged = 0, lost = 0, refused = 0, leftovers = 0;
    for (int round = 1; round <= rounds; ++round) {
        write_variant(shape, tmp / "A", "A", round);
        write_variant(shape, tmp / "B", "B", round);
        Child_Result a, b;
        std::thread first([&] { a = run_driver(engine_run(tmp / "A", tmp / "ziel"), {}, std::nullopt); });
        std::thread second([&] { b = run_driver(engine_run(tmp / "B", tmp / "ziel"), {}, std::nullopt); });
        first.join();
        second.join();
        for (const Child_Result* run : {&a, &b}) {
            if (run->output.find("wird gerade von einer anderen Ausführung benutzt") != std::string::npos)
                ++refused;
            else
                EXPECT_EQ(run->exit_code, 0) << run->output;
        }
        const auto copied = snapshot(tmp / "ziel");
        for (const auto& [relative, image] : shape) {
            auto found = copied.find(relative);
            if (found == copied.end()) {
                ++lost;
                continue;
            }
            const std::string& content = found->second.content;
            const std::string tail = ":" + relative + ":" + image.content;
            const bool whole =
                content == "A" + std::to_string(round) + tail || content == "B" + std::to_string(round) + tail;
            if (!whole) ++damaged;
        }
        leftovers += static_cast<int>(copied.size()) - static_cast<int>(shape.size());
    }
    std::printf("two runs into one target: %d rounds, %d damaged, %d lost, %d leftovers, %d runs refused as in use\n",
                rounds, damaged, lost, leftovers, refused);
    EXPECT_EQ(damaged, 0);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(leftovers, 0);
}

// Everything the kernel keeps about an entry that a write of any kind
// would change.
std::map<std::string, std::string> change_stamps(const std::string& root) {
    std::map<std::string, std::string> stamps;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        stamps[entry.path().string()] = std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
    }
    return stamps;
}

TEST(Shared_Trees, FoldersSwappedForLinksDuringRunsLeadNowhere) {
    const int runs = long_form() ? 40 : 4;
    Temp_Folder tmp;
    std::mt19937_64 random(815);
    generate_tree(tmp / "quelle", random, 300, 12, 0);
    write_file(tmp / "draussen/geheim.txt", "must never change");
    generate_tree(tmp / "draussen/viel", random, 60, 3, 0);
    const auto outside_before = change_stamps(tmp / "draussen");
    int swaps = 0;
    for (int run = 0; run < runs; ++run) {
        std::filesystem::remove_all(tmp / "ziel");
        std::atomic<bool> done{false};
        // Swap a folder of the source and one of the target for links to
        // the outside folder and back, as fast as possible, while the run goes.
        std::thread swapper([&] {
            const std::string parked = tmp / "geparkt";
            for (int i = 0; !done; ++i) {
                const std::string folder =
                    (i % 2 ? tmp / "ziel" : tmp / "quelle") + "/ordner " + std::to_string(1 + i % 11);
                std::error_code ignored;
                std::filesystem::rename(folder, parked, ignored);
                if (ignored) continue;
                std::filesystem::create_directory_symlink(tmp / "draussen", folder, ignored);
                ++swaps;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                std::filesystem::remove(folder, ignored);
                std::filesystem::rename(parked, folder, ignored);
            }
        });
        run_driver(engine_run(tmp / "quelle", tmp / "ziel"), {}, std::nullopt);
        done = true;
        swapper.join();
    }
    const auto outside_after = change_stamps(tmp / "draussen");
    int touched = 0;
    for (const auto& [path, stamp] : outside_after) {
        auto before = outside_before.find(path);
        if (before == outside_before.end() || before->second != stamp) ++touched;
    }
    for (const auto& [path, stamp] : outside_before) touched += outside_after.count(path) ? 0 : 1;
    std::printf("link swaps during runs: %d runs, %d swaps, %d entries touched outside the trees\n", runs, swaps,
                touched);
    EXPECT_GT(swaps, 0);
    EXPECT_EQ(touched, 0);
}

}  // namespace
}  // namespace zentrel::testing
