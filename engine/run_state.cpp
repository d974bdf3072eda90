#include "engine/run_state.h"

#include <limits>
#include <stdexcept>

namespace zentrel::engine {

void Increment_Counter(std::int32_t& counter) {
    if (counter == std::numeric_limits<std::int32_t>::max()) throw std::overflow_error("Überlauf");
    ++counter;
}

void Later_then_Change(const std::string& Text, Run_State& State, const platform::Regional_Settings& Regional) {
    if (auto date = platform::parse_date(Text, Regional)) State.Later_Then_Date = *date;
}

Run_Result Result_Of(const Run_Outcome& outcome) {
    if (outcome.refusal != Refusal::None) return Run_Result::Refused;
    // A stop the user asked for wins over the failures met before it; a
    // stop chosen at a failure is that failure's consequence.
    if (outcome.cancelled && !outcome.stopped_at_failure) return Run_Result::Cancelled;
    if (outcome.error_entries() > 0 || outcome.failed_unexpectedly || outcome.stopped_at_failure ||
        outcome.files_left_out_by_option_change > 0 || outcome.conflicts > 0)
        return Run_Result::Finished_With_Errors;
    return Run_Result::Done;
}

std::string Final_Status_Text(const Run_Outcome& outcome, bool synchronised) {
    std::string text;
    if (outcome.error_entries() > 0) {
        text = "Kopierfehler bei " + std::to_string(outcome.error_entries()) + " Dateien";
    } else {
        // After a cancel the evaluation's total was never reached.
        const std::int32_t files = outcome.cancelled ? outcome.files_handled : outcome.files_evaluated;
        const std::int32_t left_out = outcome.files_left_out_by_option_change;
        const bool not_all_well = left_out > 0 || outcome.conflicts > 0;
        text = std::to_string(files) + (not_all_well ? " Dateien " : " Dateien erfolgreich ") +
               (synchronised ? "synchronisiert" : "verarbeitet");
        if (left_out > 0)
            text += " (" + std::to_string(left_out) +
                    " Dateien wegen während der Ausführung geänderter Optionen ausgelassen)";
    }
    // Both versions of each were kept: named, never counted as copy errors.
    if (outcome.conflicts > 0)
        text += ", " + std::to_string(outcome.conflicts) + (outcome.conflicts == 1 ? " Konflikt" : " Konflikte");
    if (outcome.cancelled) text += " - Abbruch durch Benutzer";
    return text;
}

}  // namespace zentrel::engine
