#include "platform/folder_listing.h"

#include <algorithm>

#include "platform/dos_attributes.h"
#include "platform/file_objects.h"

namespace zentrel::platform {

std::vector<std::string> list_files(File_System& fs, const std::string& folder, const std::string& pattern, int classes,
                                    Listed_Attributes* read_attributes) {
    const bool want_hidden = classes & List_Hidden;
    const bool want_system = classes & List_System;

    std::vector<std::string> names;
    // The names whose stored attributes decide, read together after the
    // folder.
    std::vector<std::string> undecided;
    // Only the directory is read: no entry is opened, so a pipe or device
    // among them can never block the listing.
    for (auto& entry : fs.read_folder(folder)) {
        if (entry.kind != Entry_Kind::Regular && entry.kind != Entry_Kind::Symlink) continue;
        if (!wildcard_match(pattern, entry.name)) continue;
        if (is_partial_copy_name(entry.name)) continue;
        if (!(want_hidden && want_system)) {
            const bool dot_file = entry.name.starts_with('.');
            if (dot_file && !want_hidden) continue;
            if (!want_system || !dot_file) {
                undecided.push_back(std::move(entry.name));
                continue;
            }
        }
        names.push_back(std::move(entry.name));
    }
    if (!undecided.empty()) {
        auto stored = fs.get_attributes_in(folder, undecided, Dos_Attribute_Name);
        for (std::size_t i = 0; i < undecided.size(); ++i) {
            // A file deleted since the folder was read (a lock file, a cache
            // entry) is simply not there; one whose attribute cannot be read
            // is listed, so that its copy fails and reports it.
            if (stored[i].vanished) continue;
            if (stored[i].value) {
                const int bits = parse_dosattrib(*stored[i].value).value_or(0);
                if ((bits & Attribute_Hidden) && !want_hidden) continue;
                if ((bits & Attribute_System) && !want_system) continue;
            }
            if (read_attributes) (*read_attributes)[undecided[i]] = std::move(stored[i].value);
            names.push_back(std::move(undecided[i]));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zentrel::platform
