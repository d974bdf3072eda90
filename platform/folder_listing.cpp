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

void Listed_Attributes::reset(std::size_t count) {
    states_.assign(count, Not_Read);
    values_.clear();
}

void Listed_Attributes::set(std::size_t at, std::optional<std::string> bytes) {
    if (at >= states_.size()) states_.resize(at + 1, Not_Read);
    states_[at] = bytes ? Stored : Nothing_Stored;
    if (bytes)
        values_[at] = std::move(*bytes);
    else
        values_.erase(at);
}

std::optional<std::optional<std::string>> Listed_Attributes::get(std::size_t at) const {
    if (at >= states_.size() || states_[at] == Not_Read) return std::nullopt;
    if (states_[at] == Nothing_Stored) return std::optional<std::string>();
    return std::optional<std::string>(values_.at(at));
}

std::vector<std::string> listable_names(File_System& fs, const std::string& folder, std::vector<std::string>* folders) {
    // Only the directory is read: no entry is opened, so a pipe or device
    // among them can never block the listing.
    std::vector<Folder_Entry> entries = fs.read_folder(folder);
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (auto& entry : entries) {
        if (folders && entry.kind == Entry_Kind::Directory) {
            folders->push_back(std::move(entry.name));
            continue;
        }
        if (entry.kind != Entry_Kind::Regular && entry.kind != Entry_Kind::Symlink) continue;
        if (is_partial_copy_name(entry.name)) continue;
        names.push_back(std::move(entry.name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<char> pass_classes(File_System& fs, const std::string& folder, const std::vector<std::string>& names,
                               int classes, const std::vector<bool>* decide,
                               const std::function<void(std::size_t, std::optional<std::string>)>& read) {
    const bool want_hidden = classes & List_Hidden;
    const bool want_system = classes & List_System;
    std::vector<char> passes(names.size(), 1);
    if (want_hidden && want_system) return passes;

    // The names whose stored attributes decide, read together a batch at a
    // time: a folder of a few hundred thousand files needs no second copy
    // of all its names.
    constexpr std::size_t Batch = 4096;
    std::vector<std::string> undecided;
    std::vector<std::size_t> positions;
    for (std::size_t next = 0; next < names.size();) {
        undecided.clear();
        positions.clear();
        for (; next < names.size() && undecided.size() < Batch; ++next) {
            if (decide && !(*decide)[next]) continue;
            const bool dot_file = names[next].starts_with('.');
            if (dot_file && !want_hidden) {
                passes[next] = 0;
            } else if (!want_system || !dot_file) {
                undecided.push_back(names[next]);
                positions.push_back(next);
            }
        }
        if (undecided.empty()) continue;
        auto stored = stored_attributes(fs, folder, undecided);
        for (std::size_t k = 0; k < undecided.size(); ++k) {
            const std::size_t i = positions[k];
            // A file deleted since the folder was read (a lock file, a cache
            // entry) is simply not there; one whose attribute cannot be read
            // is listed, so that its copy fails and reports it.
            if (stored[k].vanished) {
                passes[i] = 0;
                continue;
            }
            if (stored[k].value) {
                const int bits = parse_dosattrib(*stored[k].value).value_or(0);
                if (((bits & Attribute_Hidden) && !want_hidden) || ((bits & Attribute_System) && !want_system)) {
                    passes[i] = 0;
                    continue;
                }
            }
            if (read) read(i, std::move(stored[k].value));
        }
    }
    return passes;
}

std::vector<std::string> list_files(File_System& fs, const std::string& folder, const std::string& pattern,
                                    int classes) {
    std::vector<std::string> names = listable_names(fs, folder);
    std::erase_if(names, [&](const std::string& name) { return !wildcard_match(pattern, name); });
    const std::vector<char> passes = pass_classes(fs, folder, names, classes, nullptr, nullptr);
    std::vector<std::string> listed;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (passes[i]) listed.push_back(std::move(names[i]));
    return listed;
}

}  // namespace zentrel::platform
