#include "engine/copy_job.h"

#include "platform/folder_listing.h"

#include <exception>
#include <unordered_set>

namespace zentrel::engine {

namespace {

// ";" counts as ",", blanks are no part of a pattern, and empty items stay:
// an empty item lists every file.
std::vector<std::string> pattern_items(const std::string& filter) {
    std::string text;
    text.reserve(filter.size());
    for (char c : filter) {
        if (c == ' ') continue;
        text += c == ';' ? ',' : c;
    }
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) break;
        items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    items.push_back(text.substr(start));
    return items;
}

}  // namespace

long Copy_Job::Get_Folder_Files(const std::string& Folder, const std::string& Include_Pattern,
                                const std::string& Exclude_Pattern, std::vector<std::string>& Files, int Classes,
                                platform::Listed_Attributes* Read_Attributes) {
    const std::string folder = support::Trailing_Backslash(Folder, false);
    platform::File_System& fs = support_->file_system();
    Files.assign(1, std::string());
    listing_failed_ = false;
    long count = 0;
    try {
        platform::Listed_Attributes read;
        // A file that several items match is listed once, where the first
        // one put it: handled twice, it would be counted twice, and the
        // progress would never reach its end.
        std::unordered_set<std::string> listed;
        for (const std::string& item : pattern_items(Include_Pattern.empty() ? "*.*" : Include_Pattern)) {
            for (std::string& name :
                 platform::list_files(fs, folder, item, Classes, Read_Attributes ? &read : nullptr)) {
                // The copy parks a target's old version under this name; it
                // is never a file of the user's to copy or to carry back.
                if (name == Temporary_Name) continue;
                if (!listed.insert(name).second) continue;
                Files.push_back(folder + name);
                ++count;
            }
            if (Read_Attributes) {
                for (auto& [name, bytes] : read) (*Read_Attributes)[folder + name] = std::move(bytes);
                read.clear();
            }
        }
        if (!Exclude_Pattern.empty() && count >= 1) {
            std::unordered_set<std::string> excluded;
            for (const std::string& item : pattern_items(Exclude_Pattern))
                for (std::string& name : platform::list_files(fs, folder, item, Classes))
                    excluded.insert(folder + name);
            long kept = 0;
            for (long i = 1; i <= count; ++i) {
                if (excluded.contains(Files[i])) continue;
                if (++kept != i) Files[kept] = std::move(Files[i]);
            }
            count = kept;
            Files.resize(count + 1);
        }
    } catch (const std::exception& failure) {
        try {
            support_->Message_Box("Fehler bei der Verarbeitung von Verzeichnis:\r\n" + folder + "\r\n" + failure.what(),
                                  support::Buttons_OK);
        } catch (...) {
        }
        // Whatever was listed before the failure may include files the
        // exclusion would have removed, or lack the exclusion entirely: a
        // folder whose listing failed lists nothing, and the walk reports it
        // as not finished.
        listing_failed_ = true;
        Files.assign(1, std::string());
        return 0;
    }
    return count;
}

void Copy_Job::Use_Listed_Attribute(platform::File& File, const platform::Listed_Attributes& Listed,
                                    const std::string& Listed_Path) {
    auto found = Listed.find(Listed_Path);
    if (found != Listed.end()) File.Use_Listed_Attribute(found->second);
}

}  // namespace zentrel::engine
