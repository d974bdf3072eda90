// The copy job: start command, evaluation, walk and copy, working on the
// window's controls through the form and on the user through the support
// routines' UI host.
#pragma once

#include "engine/run_state.h"
#include "platform/file_objects.h"
#include "support/form.h"
#include "support/support_routines.h"

#include <optional>
#include <string>
#include <vector>

namespace zentrel::engine {

class Copy_Job {
public:
    Copy_Job(support::Form& form, support::Support_Routines& support, Run_State& state);

    Run_State& state() const { return *state_; }

    // The click handler of Start: checks, creation question, evaluation,
    // one or two passes, final status text.
    void Start_Click();
    // The click handler of Evaluate_Source (also called by Start_Click).
    void Evaluate_Source_Click();
    void Do_Evaluate_Source(const platform::Folder& SFolder);

    void Process_Folder(const platform::Folder& SFolder, bool& Ignore_All, bool& Abort);
    bool Do_Process(const platform::File& SFile);
    bool Do_Process_Folder(const platform::Folder& SFolder);

    // Copies one file with the replace-safely scheme and the
    // Abort/Retry/Ignore protocol; true when the target exists afterwards.
    bool Copy_File(std::optional<platform::File>& Source, const std::string& Target, bool& Ignore_All,
                   bool& Abort);

    void Show_Progress(double Percent);
    std::string Targetfile(const std::string& Source_Path) const;
    std::string Get_UNC_Path(const std::string& Path) const;

    // The files of one folder through the include and exclude filters, at
    // positions 1 to count of Files (entry 0 empty); returns the count.
    long Get_Folder_Files(const std::string& Folder, const std::string& Include_Pattern,
                          const std::string& Exclude_Pattern, std::vector<std::string>& Files);

private:
    support::Form* form_;
    support::Support_Routines* support_;
    Run_State* state_;
};

void Swap_Values(std::string& first, std::string& second);

}  // namespace zentrel::engine
