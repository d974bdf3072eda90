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

void Swap_Values(std::string& first, std::string& second) { std::swap(first, second); }

std::string Copy_Job::Targetfile(const std::string& Source_Path) const {
    std::string from_text = options_now()->Sourcefolder;
    std::string to_text = options_now()->Targetfolder;
    if (!roots_.valid || roots_.source_text != from_text || roots_.target_text != to_text) {
        roots_.source_root = normalised_root(from_text);
        roots_.target_root = normalised_root(to_text);
        roots_.source_text = std::move(from_text);
        roots_.target_text = std::move(to_text);
        roots_.valid = true;
    }
    std::string from_root = roots_.source_root;
    std::string to_root = roots_.target_root;
    if (state_->Reverse_Direction) Swap_Values(from_root, to_root);

    if (Source_Path.size() <= from_root.size()) return to_root;
    std::string relative = Source_Path.substr(from_root.size());
    // A path that does not lie below the from-root (the folder text was
    // changed during the run) is still cut by length, but never so that the
    // result climbs out of the to-root.
    if (Source_Path.compare(0, from_root.size(), from_root) != 0) {
        while (!relative.empty() && relative.front() == Separator) relative.erase(0, 1);
        if (has_parent_step(relative))
            throw platform::File_System_Error("Zielpfad läge außerhalb des Zielverzeichnisses", Source_Path);
    }
    return Existing_Spelling(to_root, relative);
}

}  // namespace zentrel::engine
