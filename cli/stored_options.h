// The job's options in a run without the window: the stored settings with
// this run's overrides, set before the run and fixed for its whole length.
#pragma once

#include "engine/job_options.h"
#include "settings/job_settings.h"

#include <string>

namespace zentrel::cli {

class Stored_Options : public engine::Job_Options {
public:
    std::string Sourcefolder() const override { return settings.Sourcefolder; }
    std::string Targetfolder() const override { return settings.Targetfolder; }
    std::string Include_Filter() const override { return settings.Include_Filter; }
    std::string Exclude_Filter() const override { return settings.Exclude_Filter; }
    std::string Later_then() const override { return settings.Later_Then; }
    bool Include_Subfolders() const override { return settings.Include_Subfolders != 0; }
    bool Copy_Empty_Folders() const override { return settings.Copy_Empty_Folders != 0; }
    bool Only_newer() const override { return settings.Only_newer != 0; }
    bool Only_Archive() const override { return settings.Only_Archive != 0; }
    bool Reset_Archive() const override { return settings.Reset_Archive != 0; }
    bool Copy_SysFiles() const override { return settings.Copy_SysFiles != 0; }
    bool Copy_HiddenFiles() const override { return settings.Copy_HiddenFiles != 0; }
    bool Synchronize() const override { return settings.Synchronize != 0; }

    settings::Job_Settings settings;
};

}  // namespace zentrel::cli
