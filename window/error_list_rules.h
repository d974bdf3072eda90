// The error list's arrangement and the single-file copy from it: plain rules
// over the form, the support routines and the copy job.
#pragma once

#include "engine/copy_job.h"
#include "support/support_routines.h"
#include "window/form.h"

#include <string>

namespace zentrel::window {

// Shows the list and its heading only while the list holds entries, puts the
// footer one heading height below them (or below where the list begins) and
// sets the window height to the footer's top plus three heading heights.
// Every step is tried on its own; failures are ignored.
void Arrange_Error_List(Form& form);

// True when path lies inside folder (compared byte for byte after both are
// made absolute; "/a/b" is not inside "/a/bc"). An empty folder holds nothing.
bool Lies_In_Folder(const std::string& path, const std::string& folder);

enum class Single_Copy { Not_Attempted, Copied, Failed };

// Copies an entry's file once more, outside a run: a file of the target
// folder back into the source tree, any other into the target tree. Sets
// the run state's Reverse_Direction accordingly. Each failure is asked about
// with Abort / Retry / Ignore under the flags given. With quiet, an entry
// that names no file to copy is passed over without a message.
Single_Copy Copy_Entry_Again(Form& form, support::Support_Routines& support, engine::Copy_Job& job,
                             const std::string& entry, bool& ignore_all, bool& abort, bool quiet = false);

// The selected entry, with fresh Ignore_All and Abort flags.
Single_Copy Copy_Single_File_Click(Form& form, support::Support_Routines& support, engine::Copy_Job& job);

}  // namespace zentrel::window
