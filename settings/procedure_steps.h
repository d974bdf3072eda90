// The Abort / Retry / Ignore protocol of the registry routines: a step that
// fails unexpectedly is reported with Procedure_Error, then run again, skipped
// or the routine ends, as the user answers.
#pragma once

#include "support/support_routines.h"

#include <functional>

namespace zentrel::settings {

enum class Step_Outcome {
    Done,     // the step ran to its end
    Skipped,  // it failed and the user chose Ignore
    Aborted,  // it failed and the user chose Abort (or nobody was asked)
};

// Runs step. When it throws and report is true, the failure is shown under
// the procedure's name with line number 0: Retry runs the step again, Ignore
// gives Skipped, any other answer Aborted. When report is false a failure
// gives Aborted without a message.
Step_Outcome Run_Step(support::Support_Routines& support, const char* procedure, bool report,
                      const std::function<void()>& step);

}  // namespace zentrel::settings
