#include "platform/folder_listing.h"

#include <algorithm>

#include "platform/dos_attributes.h"
#include "platform/file_objects.h"

namespace zentrel::platform {

std::vector<std::string> list_files(File_System& fs, const std::string& folder, const std::string& pattern,
                                    int classes) {
    const bool want_hidden = classes & List_Hidden;
    const bool want_system = classes & List_System;
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";

    std::vector<std::string> names;
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
                if (auto bytes = fs.get_attribute(prefix + entry.name, Dos_Attribute_Name)) {
                    int stored = parse_dosattrib(*bytes).value_or(0);
                    if ((stored & Attribute_Hidden) && !want_hidden) continue;
                    if ((stored & Attribute_System) && !want_system) continue;
                }
            }
        }
        names.push_back(std::move(entry.name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zentrel::platform
