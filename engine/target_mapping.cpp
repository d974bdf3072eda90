#include "engine/copy_job.h"

#include "platform/file_system.h"

#include <utility>

namespace zentrel::engine {

using support::Separator;

namespace {

// A root the way the file objects report folder paths, ending in exactly one
// separator, so that its length is the length of the prefix of every path
// below it.
std::string normalised_root(const std::string& typed) {
    std::string root = platform::normalize_path(typed);
    if (root.empty() || root.back() != Separator) root += Separator;
    return root;
}

bool has_parent_step(const std::string& relative) {
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find(Separator, start);
        if (end == std::string::npos) end = relative.size();
        if (relative.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::string Copy_Job::Targetfile(const std::string& Source_Path) const {
    // Asked for every file: the typed texts are compared, not copied.
    {
        const auto options = options_now();
        if (!roots_.valid || roots_.source_text != options->Sourcefolder ||
            roots_.target_text != options->Targetfolder) {
            roots_.source_root = normalised_root(options->Sourcefolder);
            roots_.target_root = normalised_root(options->Targetfolder);
            roots_.source_text = options->Sourcefolder;
            roots_.target_text = options->Targetfolder;
            roots_.valid = true;
        }
    }
    const std::string& from_root = state_->Reverse_Direction ? roots_.target_root : roots_.source_root;
    const std::string& to_root = state_->Reverse_Direction ? roots_.source_root : roots_.target_root;

    if (Source_Path.size() <= from_root.size()) return to_root;
    const bool below = Source_Path.compare(0, from_root.size(), from_root) == 0;
    if (below && !Names_Ignore_Case()) {
        std::string target;
        target.reserve(to_root.size() + Source_Path.size() - from_root.size());
        return target.append(to_root).append(Source_Path, from_root.size());
    }
    std::string relative = Source_Path.substr(from_root.size());
    // A path that does not lie below the from-root (the folder text was
    // changed during the run) is still cut by length, but never so that the
    // result climbs out of the to-root.
    if (!below) {
        while (!relative.empty() && relative.front() == Separator) relative.erase(0, 1);
        if (has_parent_step(relative))
            throw platform::File_System_Error("Zielpfad läge außerhalb des Zielverzeichnisses", Source_Path);
    }
    return Existing_Spelling(to_root, relative);
}

}  // namespace zentrel::engine
