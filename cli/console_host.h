// The questions of a run without a person: answered as the command line
// says, the job's reports and any other box written to standard error with
// their kind, the busy pointer a no-op and the event turns the moment a
// signal becomes the run's cancel request.
#pragma once

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "cli/terminal_display.h"
#include "engine/job_events.h"
#include "engine/job_options.h"
#include "engine/run_state.h"
#include "support/ui_host.h"

#include <string>

namespace zentrel::cli {

class Console_Host : public support::Ui_Host, public engine::Job_Events {
public:
    Console_Host(const Command_Line& line, Terminal_Display& display, engine::Run_State& state, Progress_Line& progress,
                 char decimal_separator);

    void Set_Pointer(support::Pointer_Shape) override {}
    void Process_Events() override;
    bool Has_No_Window() const override { return true; }
    void Activate_Application() override {}
    int Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) override;

    bool Create_Missing_Target(const std::string& Target) override;
    bool Run_Without_Enough_Space(const std::string& Target, double Needed, double Free) override;
    engine::Full_Target_Answer Target_Full(const std::string& Target) override;
    void Refused(engine::Refusal Why, const std::string& Detail) override;
    // Abort with --on-error=abort, Skip otherwise: every failure keeps its
    // own entry and reason, and the run goes on.
    engine::Failure_Answer Copy_Failed(const engine::Copy_Failure& Failure) override;
    void Folder_Failed(const engine::Folder_Failure& Failure) override;
    void Archive_Bits_Kept(long Count, const std::string& Reason) override;
    void Sync_Record_Unused(const std::string& Why) override;
    void Run_Failed(const std::string& Detail) override;

private:
    void Print(const std::string& kind, const std::string& prompt);

    const Command_Line* line_;
    Terminal_Display* display_;
    engine::Run_State* state_;
    Progress_Line* progress_;
    char decimal_;
};

// A box's text on one line: its line breaks become ": " (or a space after
// a colon).
std::string One_Line(const std::string& text);

}  // namespace zentrel::cli
