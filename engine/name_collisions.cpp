#include "engine/copy_job.h"

#include "platform/file_system_kind.h"

#include <algorithm>
#include <unordered_map>

namespace zentrel::engine {

using support::Separator;

bool Copy_Job::Names_Ignore_Case() const {
    if (names_ignore_case_) return *names_ignore_case_;
    platform::File_System& fs = support_->file_system();
    auto ignores = [&](std::string folder) {
        // A folder not made yet lies on the file system of its nearest
        // existing ancestor.
        while (!folder.empty()) {
            std::optional<platform::Entry_Status> status;
            try {
                status = fs.status(folder);
            } catch (const platform::File_System_Error&) {
            }
            if (status) return fs.folder_kind(folder).ignores_case;
            std::string parent = support::Filepath(folder, false);
            if (parent == folder) break;
            folder = parent.empty() && folder.front() == Separator && folder.size() > 1 ? "/" : parent;
        }
        return false;
    };
    // Both ways: a name that one side cannot hold twice must not be made
    // twice on the other either, or the next run finds a collision there.
    names_ignore_case_ = ignores(options_now()->Sourcefolder) || ignores(options_now()->Targetfolder);
    return *names_ignore_case_;
}

const Copy_Job::Folder_Names& Copy_Job::Names_In(const std::string& Folder) const {
    auto known = folder_names_.find(Folder);
    if (known != folder_names_.end()) return known->second;
    Folder_Names found;
    try {
        for (platform::Folder_Entry& entry : support_->file_system().read_folder(Folder))
            found.names.push_back(std::move(entry.name));
    } catch (const platform::File_System_Error&) {
        // Missing or unreadable: nothing there to match.
    }
    std::sort(found.names.begin(), found.names.end());
    for (const std::string& name : found.names) found.first_by_folded.emplace(platform::case_folded(name), name);
    return folder_names_.emplace(Folder, std::move(found)).first->second;
}

std::string Copy_Job::Existing_Spelling(const std::string& Root, const std::string& Relative) const {
    if (Relative.empty() || !Names_Ignore_Case()) return Root + Relative;
    std::string path = Root;
    for (std::size_t start = 0; start < Relative.size();) {
        std::size_t end = Relative.find(Separator, start);
        if (end == std::string::npos) end = Relative.size();
        const std::string part = Relative.substr(start, end - start);
        std::string folder = path;
        if (folder.size() > 1 && folder.back() == Separator) folder.pop_back();
        const Folder_Names& names = Names_In(folder);
        if (std::binary_search(names.names.begin(), names.names.end(), part)) {
            path += part;
        } else {
            auto found = names.first_by_folded.find(platform::case_folded(part));
            // Nothing of that name there: the rest is made as it is spelt.
            if (found == names.first_by_folded.end()) return path + Relative.substr(start);
            path += found->second;
        }
        if (end < Relative.size()) path += Separator;
        start = end + 1;
    }
    return path;
}

std::vector<std::string> Copy_Job::Case_Collisions(const Folder_Listing& Listing) const {
    const long Count = Listing.count();
    if (Count < 1 || !Names_Ignore_Case()) return {};
    std::vector<std::string> collisions(static_cast<std::size_t>(Count) + 1);

    // The folder itself, or one of its folders up to the top of the pass,
    // shares its name but for case with a folder walked before it: its files
    // would land on that folder's.
    std::string top =
        platform::normalize_path(state_->Reverse_Direction ? options_now()->Targetfolder : options_now()->Sourcefolder);
    while (top.size() > 1 && top.back() == Separator) top.pop_back();
    std::string folder = Listing.folder.substr(0, Listing.folder.find_last_of(Separator));
    std::string earlier;
    while (earlier.empty() && folder.size() > top.size() && folder.starts_with(top) &&
           folder[top.size()] == Separator) {
        const std::size_t slash = folder.find_last_of(Separator);
        const std::string parent = slash == 0 ? "/" : folder.substr(0, slash);
        const std::string name = folder.substr(slash + 1);
        const Folder_Names& names = Names_In(parent);
        auto found = names.first_by_folded.find(platform::case_folded(name));
        if (found != names.first_by_folded.end() && found->second != name)
            earlier = (parent == "/" ? "" : parent) + Separator + found->second;
        folder = parent;
    }
    if (!earlier.empty()) {
        std::fill(collisions.begin() + 1, collisions.end(), earlier);
        return collisions;
    }

    std::unordered_map<std::string, long> first_of;
    for (long i = 1; i <= Count; ++i) {
        auto [found, added] = first_of.emplace(platform::case_folded(Listing.names[static_cast<std::size_t>(i)]), i);
        if (!added) collisions[i] = Listing.path(found->second);
    }
    return collisions;
}

bool Copy_Job::Report_Case_Collision(const platform::File& Source, const std::string& Other, bool& Ignore_All,
                                     bool& Abort) {
    Copy_Error({.trouble = Copy_Trouble::Case_Collision, .path = Source.Path(), .target = Other}, Ignore_All, Abort);
    return false;
}

}  // namespace zentrel::engine
