// The composite operations of File_System in terms of the single ones.
#include <cerrno>
#include <utility>

#include "platform/file_system.h"

namespace zentrel::platform {

bool not_kept_by_file_system(int error_number) {
    return error_number == ENOTSUP || error_number == EOPNOTSUPP || error_number == ENOSYS;
}

bool attribute_unreadable(int error_number) { return not_kept_by_file_system(error_number) || error_number == EIO; }

bool mode_not_kept_by_file_system(int error_number) {
    return not_kept_by_file_system(error_number) || error_number == EPERM;
}

Entry_Status File_System::copy_file(const std::string& from, const std::string& to,
                                    const std::vector<std::string>& attributes) {
    auto source = status(from);
    if (!source) throw File_System_Error(ENOENT, from);
    switch (source->kind) {
        case Entry_Kind::Regular:
            break;
        case Entry_Kind::Directory:
            throw File_System_Error(EISDIR, from);
        case Entry_Kind::Symlink:
            throw File_System_Error(ELOOP, from);
        case Entry_Kind::Other:
            throw File_System_Error("Keine gewöhnliche Datei (Pipe, Gerät oder Socket), wird nicht kopiert", from);
    }

    // Read before anything is written.
    std::vector<std::pair<const std::string*, std::string>> carried;
    for (const std::string& name : attributes)
        if (auto value = get_attribute(from, name)) carried.emplace_back(&name, std::move(*value));

    // Readable only by us until done when attributes still have to be
    // written (which needs write permission).
    copy_contents(from, to, carried.empty() ? source->mode : 0600);
    if (!carried.empty()) {
        for (const auto& [name, value] : carried) {
            try {
                set_attribute(to, *name, value);
            } catch (const File_System_Error& error) {
                // A target file system without extended attributes (FAT,
                // some network file systems) cannot keep them; the data
                // matters more.
                if (!not_kept_by_file_system(error.error_number())) throw;
                break;
            }
        }
        try {
            set_mode(to, source->mode);
        } catch (const File_System_Error& error) {
            if (!mode_not_kept_by_file_system(error.error_number())) throw;
        }
    }
    set_modified(to, source->modified);
    return *source;
}

std::vector<Entry_Attribute> File_System::get_attributes_in(const std::string& folder,
                                                            const std::vector<std::string>& names,
                                                            const std::string& name) {
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    std::vector<Entry_Attribute> values;
    values.reserve(names.size());
    for (const std::string& entry : names) {
        Entry_Attribute found;
        try {
            found.value = get_attribute(prefix + entry, name);
        } catch (const File_System_Error& error) {
            found.vanished = error.error_number() == ENOENT;
        }
        values.push_back(std::move(found));
    }
    return values;
}

}  // namespace zentrel::platform
