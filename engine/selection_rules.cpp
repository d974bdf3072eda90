#include "engine/copy_job.h"

#include "platform/date_value.h"
#include "platform/file_system_kind.h"
#include "platform/folder_listing.h"

#include <algorithm>

#include <cmath>

namespace zentrel::engine {

namespace {

// An exclude item that ends in "/" names folders (wildcards allowed) to be
// left out with all they hold. A name holds no "/", so such an item never
// matched a file: no filter written before changes its meaning.
bool excluded_folder(const std::string& filter, const std::string& name) {
    std::size_t start = 0;
    while (start <= filter.size()) {
        std::size_t end = filter.find_first_of(",;", start);
        if (end == std::string::npos) end = filter.size();
        std::string item;
        for (std::size_t i = start; i < end; ++i)
            if (filter[i] != ' ') item += filter[i];
        start = end + 1;
        if (item.size() < 2 || item.back() != '/') continue;
        while (!item.empty() && item.back() == '/') item.pop_back();
        if (!item.empty() && platform::wildcard_match(item, name)) return true;
    }
    return false;
}

// A date value carries about a microsecond of rounding noise; a date typed
// by the user is at most to the second, so the nearest millisecond is the
// instant meant.
platform::File_Time rounded_to_millisecond(platform::File_Time time) {
    constexpr std::int64_t millisecond = 1'000'000;
    std::int64_t nanoseconds = (time.nanoseconds + millisecond / 2) / millisecond * millisecond;
    if (nanoseconds >= 1'000'000'000) return {time.seconds + 1, nanoseconds - 1'000'000'000};
    return {time.seconds, nanoseconds};
}

}  // namespace

// True when the file's modification is strictly later than the filter date.
// The date is turned into a file time once, not every file into a date.
bool Copy_Job::Later_Than_Filter_Date(const platform::File& SFile) const {
    if (!threshold_.valid || threshold_.date != state_->Later_Then_Date) {
        threshold_.time = rounded_to_millisecond(platform::file_time_from_date_value(state_->Later_Then_Date));
        threshold_.date = state_->Later_Then_Date;
        threshold_.valid = true;
    }
    return SFile.Modified_Time() > threshold_.time;
}

bool Copy_Job::Selected_By_Attributes(const platform::File& SFile) {
    const auto options = options_now();
    // Read only when an option asks for them: with hidden and system files
    // copied and the archive bit not asked, the listing has not read them
    // either, and a file found unchanged needs no look at them.
    const bool by_attributes = !options->Copy_SysFiles || !options->Copy_HiddenFiles || options->Only_Archive;
    const int attributes = by_attributes ? SFile.Attributes() : 0;
    if (!options->Copy_SysFiles && (attributes & platform::Attribute_System)) return false;
    if (!options->Copy_HiddenFiles && (attributes & platform::Attribute_Hidden)) return false;
    if (!options->Later_then.empty() && !Later_Than_Filter_Date(SFile)) return false;
    if (options->Only_Archive && !(attributes & platform::Attribute_Archive)) return false;
    return true;
}

bool Copy_Job::Do_Process(const platform::File& SFile) {
    if (!Selected_By_Attributes(SFile)) return false;

    tested_target_.valid = false;
    tested_target_.path = Targetfile(SFile.Path());
    std::optional<platform::File> target = support_->Find_File(tested_target_.path);
    // A synchronisation with its record decides by what changed since (sync_run.cpp).
    sync_verdict_ = sync_ ? Sync_Test(SFile, target) : Sync_Verdict::None;
    if (sync_verdict_ != Sync_Verdict::None && sync_verdict_ != Sync_Verdict::Parts_Rules) {
        tested_target_.file = std::move(target);
        tested_target_.valid = Sync_Acts(sync_verdict_);
        return tested_target_.valid;
    }
    if (!target) {
        tested_target_.file.reset();
        tested_target_.valid = true;
        return true;
    }
    // Both times as finely as the coarser of the two file systems keeps
    // them: a copy on a FAT stick carries its source's time to the even
    // second below, and is still the same file.
    const std::int64_t step = std::max(Time_Step(SFile), Time_Step(*target));
    const platform::File_Time source_time = platform::truncated_time(SFile.Modified_Time(), step);
    const platform::File_Time target_time = platform::truncated_time(target->Modified_Time(), step);
    if (options_now()->Only_newer && target_time >= source_time) return false;
    if (target->Size() == SFile.Size() && target_time == source_time) return false;
    // A link is its text. Where the target keeps no time of a link (sshfs
    // sets the time of what it leads to), a link with the same text is the
    // same link all the same.
    if (SFile.Is_Link() && target->Is_Link() && target->Size() == SFile.Size()) {
        try {
            platform::File_System& fs = support_->file_system();
            if (fs.read_link(SFile.Path()) == fs.read_link(target->Path())) return false;
        } catch (...) {
        }
    }
    tested_target_.file = std::move(target);
    tested_target_.valid = true;
    return true;
}

std::int64_t Copy_Job::Time_Step(const platform::File& File) const {
    const dev_t device = File.Status().device;
    auto known = time_steps_.find(device);
    if (known == time_steps_.end())
        known = time_steps_.emplace(device, support_->file_system().kind_of(File.Path(), device).time_step).first;
    return known->second;
}

bool Copy_Job::Do_Process_Folder(const platform::Folder& SFolder) {
    if (SFolder.IsRootFolder()) return true;
    try {
        if (excluded_folder(options_now()->Exclude_Filter, SFolder.Name())) return false;
        const int attributes = SFolder.Attributes();
        if (!options_now()->Copy_SysFiles && (attributes & platform::Attribute_System)) return false;
        if (options_now()->Copy_HiddenFiles) return true;
        return !(attributes & platform::Attribute_Hidden);
    } catch (...) {
        return false;
    }
}

}  // namespace zentrel::engine
