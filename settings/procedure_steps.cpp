#include "settings/procedure_steps.h"

#include <exception>

namespace zentrel::settings {

Step_Outcome Run_Step(support::Support_Routines& support, const char* procedure, bool report,
                      const std::function<void()>& step) {
    while (true) {
        std::string description;
        try {
            step();
            return Step_Outcome::Done;
        } catch (const std::exception& failure) {
            description = failure.what();
        } catch (...) {
            description = "Unbekannter Fehler";
        }
        if (!report) return Step_Outcome::Aborted;
        switch (support.Procedure_Error(procedure, description, 0)) {
            case support::Answer_Retry:
                continue;
            case support::Answer_Ignore:
                return Step_Outcome::Skipped;
            default:
                return Step_Outcome::Aborted;
        }
    }
}

}  // namespace zentrel::settings
