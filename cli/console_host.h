// The questions of a run without a person: answered as the command line
// says, every other box written to standard error with its kind, the busy
// pointer a no-op and the event turns the moment a signal becomes the
// run's cancel request.
#pragma once

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "cli/terminal_display.h"
#include "engine/job_options.h"
#include "engine/run_state.h"
#include "support/ui_host.h"

#include <string>

namespace zentrel::cli {

class Console_Host : public support::Ui_Host {
public:
    Console_Host(const Command_Line& line, const engine::Job_Options& options, Terminal_Display& display,
                 engine::Run_State& state, Progress_Line& progress);

    void Set_Pointer(support::Pointer_Shape) override {}
    void Process_Events() override;
    void Activate_Application() override {}
    int Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) override;

    // A box told of a failure after the run had begun (a folder the walk
    // could not read, archive bits left set, an unexpected failure).
    bool Problems_Reported() const { return problems_; }
    // The evaluation found no folder to read.
    bool Folder_Missing() const { return folder_missing_; }
    // The job ended on a failure it did not expect, before its summary.
    bool Failed_Unexpectedly() const { return failed_unexpectedly_; }

private:
    void Print(const std::string& kind, const std::string& prompt);

    const Command_Line* line_;
    const engine::Job_Options* options_;
    Terminal_Display* display_;
    engine::Run_State* state_;
    Progress_Line* progress_;
    bool problems_ = false;
    bool folder_missing_ = false;
    bool failed_unexpectedly_ = false;
};

// A box's text on one line: its line breaks become ": " (or a space after
// a colon).
std::string One_Line(const std::string& text);

}  // namespace zentrel::cli
