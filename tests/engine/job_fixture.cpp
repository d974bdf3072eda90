#include "job_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace zentrel::testing {

Job_Test::Job_Test(platform::File_System& base)
    : fs(base),
      support(host, fs, platform::Regional_Settings::german()),
      job(current_options, display, support, state),
      src(tmp / "quelle"),
      dst(tmp / "ziel") {
    make_folders(src);
    options.Sourcefolder = src;
    options.Targetfolder = dst;
    options.Include_Subfolders = true;
    // A synchronisation's record stays with the test.
    job.Sync_Record_File = tmp / "state/sync-record.sqlite";
}

void Job_Test::later_then(const std::string& text) {
    options.Later_then = text;
    engine::Later_then_Change(text, state, support.regional());
}

std::vector<std::string> Job_Test::prompts() const {
    std::vector<std::string> result;
    for (const Shown_Box& box : host.boxes) result.push_back(box.prompt);
    return result;
}

std::vector<std::string> Job_Test::statuses_starting(const std::string& prefix) const {
    std::vector<std::string> result;
    for (const std::string& status : display.statuses)
        if (status.starts_with(prefix)) result.push_back(status);
    return result;
}

std::string Job_Test::start() {
    job.Start_Click();
    return display.status;
}

std::vector<std::string> files_below(const std::string& root) {
    std::vector<std::string> result;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file()) result.push_back(std::filesystem::relative(entry.path(), root).string());
    std::sort(result.begin(), result.end());
    return result;
}

platform::File_Time mtime_of(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return {};
    return {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

void expect_same_tree(const std::string& expected, const std::string& actual) {
    const std::vector<std::string> names = files_below(expected);
    ASSERT_EQ(names, files_below(actual));
    for (const std::string& name : names) {
        EXPECT_EQ(read_file(expected + "/" + name), read_file(actual + "/" + name)) << name;
        EXPECT_EQ(mtime_of(expected + "/" + name), mtime_of(actual + "/" + name)) << name;
    }
}

}  // namespace zentrel::testing
