// The user's choices for a copy job as one plain value, and the port the
// job reads them through. The job asks Current() at each use, never keeps
// the value: a box ticked during a run applies from the next file it tests.
#pragma once

#include <memory>
#include <string>

namespace zentrel::engine {

// The thirteen settings of a job. A check box holds its state, 0 clear,
// 1 checked or 2 grey; every test of the job takes each state but 0 as set.
// Texts are as typed, untrimmed.
struct Job_Options {
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
    // The date field's text. While it is not empty, the file test compares
    // with the run state's Later_Then_Date, the last text that read as a
    // date (Later_then_Change).
    std::string Later_then;
    // A synchronisation moves a file deleted on one side since the last one
    // to the other side's trash (0 or 1). Stored beside the thirteen; no box
    // of the window shows it.
    int Sync_Deletions = 0;

    bool operator==(const Job_Options&) const = default;
};

// One of the option boxes or one of the texts, named by its member.
using Option_Box = int Job_Options::*;
using Text_Setting = std::string Job_Options::*;

class Options_Port {
public:
    virtual ~Options_Port() = default;

    // The options as they stand now. The value stays valid while the caller
    // holds it, even when the user changes a box meanwhile; read it afresh
    // for each decision rather than keeping it.
    virtual std::shared_ptr<const Job_Options> Current() const = 0;
};

// A value its owner keeps and may change between two reads: a run without
// the window, the tests.
class Options_View final : public Options_Port {
public:
    explicit Options_View(const Job_Options& options) : options_(&options) {}
    std::shared_ptr<const Job_Options> Current() const override {
        // Shares no ownership: the owner outlives the job.
        return std::shared_ptr<const Job_Options>(std::shared_ptr<const Job_Options>(), options_);
    }

private:
    const Job_Options* options_;
};

}  // namespace zentrel::engine
