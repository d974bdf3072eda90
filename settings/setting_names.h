// The thirteen settings by name: the member of engine::Job_Options, the
// window's control, the value's name in the settings file and zentrel-run's
// option. A new option is one row here; loading, storing, the window's
// boxes and the command line follow the table.
#pragma once

#include "engine/job_options.h"

#include <string_view>

namespace zentrel::settings {

using engine::Job_Options;
using engine::Option_Box;
using engine::Text_Setting;

struct Option_Box_Entry {
    Option_Box member;
    const char* name;  // the control's and the stored value's
    const char* flag;  // without "--"; "--no-" clears it
};

// In the order they are loaded and stored.
inline constexpr Option_Box_Entry Option_Boxes[] = {
    {&Job_Options::Include_Subfolders, "Include_Subfolders", "subfolders"},
    {&Job_Options::Copy_Empty_Folders, "Copy_Empty_Folders", "empty-folders"},
    {&Job_Options::Only_newer, "Only_newer", "only-newer"},
    {&Job_Options::Only_Archive, "Only_Archive", "archive-only"},
    {&Job_Options::Reset_Archive, "Reset_Archive", "reset-archive"},
    {&Job_Options::Copy_SysFiles, "Copy_SysFiles", "system"},
    {&Job_Options::Copy_HiddenFiles, "Copy_HiddenFiles", "hidden"},
    {&Job_Options::Synchronize, "Synchronize", "sync"},
};

// Stored switches that no box shows: the settings file and zentrel-run only.
inline constexpr Option_Box_Entry Other_Switches[] = {
    {&Job_Options::Sync_Deletions, "Sync_Deletions", "sync-deletions"},
};

struct Text_Setting_Entry {
    Text_Setting member;
    const char* control;
    const char* stored;  // the control's name but for the date field
    const char* flag;
};

inline constexpr Text_Setting_Entry Text_Settings[] = {
    {&Job_Options::Sourcefolder, "Sourcefolder", "Sourcefolder", "source"},
    {&Job_Options::Targetfolder, "Targetfolder", "Targetfolder", "target"},
    {&Job_Options::Include_Filter, "Include_Filter", "Include_Filter", "include"},
    {&Job_Options::Exclude_Filter, "Exclude_Filter", "Exclude_Filter", "exclude"},
    {&Job_Options::Later_then, "Later_then", "Later_Then", "newer-than"},
};

// The stored value's name of a box or a text.
constexpr const char* Stored_Name(Option_Box box) {
    for (const Option_Box_Entry& entry : Option_Boxes)
        if (entry.member == box) return entry.name;
    for (const Option_Box_Entry& entry : Other_Switches)
        if (entry.member == box) return entry.name;
    return "";
}
constexpr const char* Stored_Name(Text_Setting text) {
    for (const Text_Setting_Entry& entry : Text_Settings)
        if (entry.member == text) return entry.stored;
    return "";
}

}  // namespace zentrel::settings
