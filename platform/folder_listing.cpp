#include "platform/folder_listing.h"

#include <algorithm>
#include <cerrno>

#include "platform/dos_attributes.h"
#include "platform/file_objects.h"

namespace zentrel::platform {

namespace {

// The attribute bytes of each of names in folder: FAT's and NTFS's own bits
// where the file system keeps them (in user.DOSATTRIB's text form, so that
// every reader takes them alike), else user.DOSATTRIB.
std::vector<Entry_Attribute> stored_attributes(File_System& fs, const std::string& folder,
                                               const std::vector<std::string>& names) {
    const auto folder_status = fs.status(folder);
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    if (folder_status && fs.get_native_attributes(folder, folder_status->device)) {
        std::vector<Entry_Attribute> values;
        values.reserve(names.size());
        for (const std::string& name : names) {
            Entry_Attribute found;
            try {
                if (auto bits = fs.get_native_attributes(prefix + name, folder_status->device))
                    found.value = dosattrib_text(*bits);
            } catch (const File_System_Error& error) {
                // Gone since the folder was read, or unreadable: listed, so
                // that its own test looks at it again.
                found.vanished = error.error_number() == ENOENT;
            }
            values.push_back(std::move(found));
        }
        return values;
    }
    return fs.get_attributes_in(folder, names, Dos_Attribute_Name);
}

}  // namespace

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
        auto stored = stored_attributes(fs, folder, undecided);
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
