#include "engine/copy_job.h"

#include "platform/file_system_kind.h"

#include <unordered_map>

namespace zentrel::engine {

std::vector<long> Copy_Job::Case_Collisions(const std::vector<std::string>& Files, long Count,
                                            const std::string& Target_Folder) const {
    if (Count < 2) return {};
    // The target folder itself may not be there yet: its nearest existing
    // ancestor is on the same file system.
    std::string folder = Target_Folder;
    platform::File_System& fs = support_->file_system();
    for (;;) {
        std::optional<platform::Entry_Status> status;
        try {
            status = fs.status(folder);
        } catch (const platform::File_System_Error&) {
        }
        if (status) break;
        std::string parent = support::Filepath(folder, false);
        if (parent.empty() || parent == folder) return {};
        folder = parent;
    }
    if (!platform::folder_file_system_kind(folder).ignores_case) return {};

    std::vector<long> collisions(static_cast<std::size_t>(Count) + 1, 0);
    std::unordered_map<std::string, long> first_of;
    for (long i = 1; i <= Count; ++i) {
        const std::string& path = Files[i];
        auto [found, added] = first_of.emplace(platform::case_folded(path.substr(path.find_last_of('/') + 1)), i);
        if (!added) collisions[i] = found->second;
    }
    return collisions;
}

bool Copy_Job::Report_Case_Collision(const platform::File& Source, const std::string& Other, bool& Ignore_All,
                                     bool& Abort) {
    const std::string other_name = Other.substr(Other.find_last_of('/') + 1);
    Copy_Error("Konnte Datei nicht kopieren: " + Source.Path() +
                   "\r\nDas Ziel unterscheidet Groß- und Kleinschreibung nicht: der Name fällt dort mit \"" +
                   other_name + "\" zusammen, die schon dorthin kopiert wird",
               Source.Path(), false, Ignore_All, Abort);
    return false;
}

}  // namespace zentrel::engine
