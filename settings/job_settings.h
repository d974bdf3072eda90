// The thirteen stored settings of the window as one value: what the window
// shows when it opens and stores when it closes, and what a run without the
// window starts from. Check boxes keep their three states (0 clear,
// 1 checked, 2 grey).
#pragma once

#include <string>

namespace zentrel::settings {

struct Job_Settings {
    std::string Sourcefolder;
    std::string Targetfolder;
    int Include_Subfolders = 0;
    std::string Include_Filter;
    std::string Exclude_Filter;
    int Copy_Empty_Folders = 0;
    int Only_newer = 0;
    int Only_Archive = 0;
    int Reset_Archive = 0;
    int Copy_SysFiles = 0;
    int Copy_HiddenFiles = 0;
    int Synchronize = 0;
    // The date field's text.
    std::string Later_Then;
    // A synchronisation moves a file deleted on one side since the last one
    // to the other side's trash (0 or 1). Stored beside the thirteen; no
    // box of the window shows it.
    int Sync_Deletions = 0;

    bool operator==(const Job_Settings&) const = default;
};

// One of the option boxes, named by its member.
using Option_Box = int Job_Settings::*;

// The option boxes in the order they are loaded and stored.
inline constexpr Option_Box Option_Boxes[] = {&Job_Settings::Include_Subfolders, &Job_Settings::Copy_Empty_Folders,
                                              &Job_Settings::Only_newer,         &Job_Settings::Only_Archive,
                                              &Job_Settings::Reset_Archive,      &Job_Settings::Copy_SysFiles,
                                              &Job_Settings::Copy_HiddenFiles,   &Job_Settings::Synchronize};

// The box's name as the stored settings spell it.
const char* Option_Name(Option_Box box);

}  // namespace zentrel::settings
