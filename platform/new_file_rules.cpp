#include "platform/new_file_rules.h"

namespace zentrel::platform {

void New_File_Rules::select(const std::string& folder) {
    if (folder == folder_) return;
    folder_ = folder;
    kept_ = 0;
    changed_ = false;
    refuses_unnamed_ = false;
}

New_File_Rules::Bits New_File_Rules::bits(const std::string& folder, mode_t mode) {
    std::lock_guard lock(mutex_);
    select(folder);
    if (changed_) return Bits::Changed;
    return (mode & ~kept_) == 0 ? Bits::Kept : Bits::Unknown;
}

void New_File_Rules::learn(const std::string& folder, mode_t asked, mode_t got) {
    std::lock_guard lock(mutex_);
    select(folder);
    if (got == asked)
        kept_ |= asked;
    else
        changed_ = true;
}

bool New_File_Rules::refuses_unnamed(const std::string& folder) {
    std::lock_guard lock(mutex_);
    return folder == folder_ && refuses_unnamed_;
}

void New_File_Rules::note_unnamed_refused(const std::string& folder) {
    std::lock_guard lock(mutex_);
    select(folder);
    refuses_unnamed_ = true;
}

void New_File_Rules::forget() {
    std::lock_guard lock(mutex_);
    folder_.clear();
    kept_ = 0;
    changed_ = false;
    refuses_unnamed_ = false;
}

}  // namespace zentrel::platform
