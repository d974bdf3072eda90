// The counters and flags of a run, owned by the window.
#pragma once

#include "platform/regional.h"

#include <cstdint>
#include <string>

namespace zentrel::engine {

struct Run_State {
    std::int32_t Source_Files = 0;
    double Source_Bytes = 0;
    std::int32_t Total_Files = 0;
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
};

// counter + 1; going past 2,147,483,647 throws std::overflow_error.
void Increment_Counter(std::int32_t& counter);

// The date field's change handler: a text that reads as a date becomes
// Later_Then_Date; any other text leaves the last date in force.
void Later_then_Change(const std::string& Text, Run_State& State, const platform::Regional_Settings& Regional);

}  // namespace zentrel::engine
