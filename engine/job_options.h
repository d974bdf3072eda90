// What the copy job reads of the user's choices. Every getter reads the
// current value when it is called: a box ticked during a run applies from
// the next file the job tests.
#pragma once

#include <string>

namespace zentrel::engine {

class Job_Options {
public:
    virtual ~Job_Options() = default;

    virtual std::string Sourcefolder() const = 0;
    virtual std::string Targetfolder() const = 0;
    virtual std::string Include_Filter() const = 0;
    virtual std::string Exclude_Filter() const = 0;
    // The date field's text. While it is not empty, the file test compares
    // with the run state's Later_Then_Date, the last text that read as a
    // date (Later_then_Change).
    virtual std::string Later_then() const = 0;

    virtual bool Include_Subfolders() const = 0;
    virtual bool Copy_Empty_Folders() const = 0;
    virtual bool Only_newer() const = 0;
    virtual bool Only_Archive() const = 0;
    virtual bool Reset_Archive() const = 0;
    virtual bool Copy_SysFiles() const = 0;
    virtual bool Copy_HiddenFiles() const = 0;
    virtual bool Synchronize() const = 0;
};

}  // namespace zentrel::engine
