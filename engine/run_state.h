// The counters and flags of a run, its error list, and how it ended. The
// window keeps one for as long as it is open, the runner one for its single
// run; the job only works on it.
#pragma once

#include "engine/copy_failure.h"
#include "platform/regional.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zentrel::engine {

// Why a start command ended before anything was copied.
enum class Refusal {
    None,
    Folder_Not_Absolute,    // a folder text that is not a full path
    Source_Missing,         // no source folder
    Source_Unreachable,     // the source's device or share does not answer
    Same_Folders,           // source and target are one folder
    Nested_Folders,         // one lies in the other
    Target_Missing,         // a missing target the user did not have made
    Target_Not_Made,        // making the missing target failed
    Target_Not_Mounted,     // the target's storage seems not to be mounted
    Target_Device_Missing,  // the missing target's last run wrote onto a file system not mounted now
    Target_Unreachable,     // the target's device or share does not answer
    Target_In_Use,          // another run writes into the target's tree
    Source_In_Use,          // another run writes into the source's tree (a synchronisation)
    Not_Enough_Space,       // too little space in the target, and the user did not run anyway
    Unexpected_Failure,     // a failure nobody foresaw, before the run began
};

// What a run (or a single-file copy) did, counted as it went. Both front
// ends compose what they show and how they end from it alone.
struct Run_Outcome {
    Refusal refusal = Refusal::None;
    // The start's checks were passed and the run began.
    bool began = false;
    // Files the evaluations found (both passes of a synchronisation).
    std::int32_t files_evaluated = 0;
    // Files the walks dealt with: copied, failed or found unchanged.
    std::int32_t files_handled = 0;
    std::int32_t files_copied = 0;
    double bytes_copied = 0;
    // Handled, and left as they were because the file test did not choose them.
    std::int32_t files_unchanged = 0;
    // Entries of the error list: files that failed, and folders that could
    // not be walked to their end.
    std::int32_t files_failed = 0;
    std::int32_t folders_unfinished = 0;
    // Copied files whose archive bit could not be cleared.
    std::int32_t archive_bits_kept = 0;
    // Files the evaluation counted that the walk left out because the
    // options were changed while the run was under way.
    std::int32_t files_left_out_by_option_change = 0;
    // Files changed on both sides of a synchronisation since they were last
    // in step (or deleted on one and changed on the other): both versions
    // kept, each an entry of the error list.
    std::int32_t conflicts = 0;
    // Files deleted on one side since the last synchronisation and moved to
    // the other side's trash.
    std::int32_t files_trashed = 0;
    // The user (or a signal) asked the run to stop.
    bool cancelled = false;
    // The run stopped at a failure because the user chose so (Abort, or
    // stop on a full target).
    bool stopped_at_failure = false;
    // The run ended on a failure nobody foresaw, after it had begun.
    bool failed_unexpectedly = false;

    std::int32_t error_entries() const { return files_failed + folders_unfinished; }
};

// How a run ended, in the few kinds a caller branches on.
enum class Run_Result { Refused, Cancelled, Finished_With_Errors, Done };

Run_Result Result_Of(const Run_Outcome& outcome);

struct Run_State {
    std::int32_t Source_Files = 0;
    double Source_Bytes = 0;
    // The part of Source_Bytes that the files to copy replace in the target:
    // space a run gives back as it goes.
    double Replaced_Bytes = 0;
    std::int32_t Total_Files = 0;
    // Files of this pass copied, and their bytes ("Dateien kopiert",
    // "MBytes kopiert"); a failed copy is not counted.
    std::int32_t Processed_Files = 0;
    double Processed_Bytes = 0;
    std::int32_t Error_Files = 0;
    // Files the walk has dealt with (copied, failed or skipped) since the
    // run started, over both passes: what a cancelled run reports.
    std::int32_t Handled_Files = 0;
    // Files an evaluation counted that its walk left out because the
    // options changed in between, over both passes.
    std::int32_t Left_Out_By_Option_Change = 0;
    bool Reverse_Direction = false;
    bool Cancel_Requested = false;
    // From the end of the start's checks to the run's summary.
    bool Run_Under_Way = false;
    // The date of the field Later_then (days since 1899-12-30); 0 at start.
    double Later_Then_Date = 0;
    // The last start command's (or single-file copy's) outcome.
    Run_Outcome Outcome;
    // The error list as the job filled it: the entries of the last run that
    // got past its evaluation, and of the single-file copies since. The
    // window's list may since have dropped entries copied again.
    std::vector<Copy_Failure> Errors;
};

// counter + 1; going past 2,147,483,647 throws std::overflow_error.
void Increment_Counter(std::int32_t& counter);

// The date field's change handler: a text that reads as a date becomes
// Later_Then_Date; any other text leaves the last date in force.
void Later_then_Change(const std::string& Text, Run_State& State, const platform::Regional_Settings& Regional);

// The status line's text at the end of a run, made from its outcome:
// "Kopierfehler bei N Dateien" or "N Dateien erfolgreich verarbeitet"
// ("synchronisiert" after a second pass), " - Abbruch durch Benutzer"
// appended after a cancel; a synchronisation's conflicts are named after it.
std::string Final_Status_Text(const Run_Outcome& outcome, bool synchronised);

}  // namespace zentrel::engine
