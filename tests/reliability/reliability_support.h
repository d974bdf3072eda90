// Helpers of the reliability suite: the long or short form, trees generated
// from a seed, snapshots of trees, and the scripted run as a child process
// that can be killed at a chosen moment.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zentrel::testing {

// ZENTREL_LONG=1 asks for the long form of the suite.
bool long_form();

// A generator seeded from ZENTREL_SEED, or from the clock; the seed is
// printed, so that a failed round can be repeated.
std::mt19937_64 seeded_random();

// One file as the tests compare it: content and modification time.
struct File_Image {
    std::string content;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    friend bool operator==(const File_Image&, const File_Image&) = default;
};

// Every entry below root that is not a folder, by path relative to root,
// symbolic links as "-> target" content with the link's own time.
std::map<std::string, File_Image> snapshot(const std::string& root);

// Writes a tree of files of mixed sizes (most small, a few of some MiB) over
// nested folders; every file gets a time at least a day before now.
void generate_tree(const std::string& root, std::mt19937_64& random, int files, int folders, int large_files);

// Writes an older version (other content, older time) of every second file
// of source into target; returns them by relative path.
std::map<std::string, File_Image> write_old_versions(const std::string& source, const std::string& target,
                                                     std::mt19937_64& random);

// The scripted run driver of this build.
std::string driver_path();

struct Child_Result {
    bool killed = false;  // ended by our SIGKILL
    bool timed_out = false;
    int exit_code = -1;  // when it exited by itself
    std::string output;  // stdout and stderr
    std::chrono::microseconds elapsed{0};
};

// Starts the driver with arguments and the environment additions, kills it
// with SIGKILL after kill_after (if given and it is still running), and never
// waits longer than limit.
Child_Result run_driver(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& env,
                        std::optional<std::chrono::microseconds> kill_after,
                        std::chrono::seconds limit = std::chrono::seconds(120));

}  // namespace zentrel::testing
