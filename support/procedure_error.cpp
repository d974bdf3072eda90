#include "support/support_routines.h"

namespace zentrel::support {

int Support_Routines::Procedure_Error(const std::string& Procedure, const std::string& Description, int Line) {
    Show_Busy(false);
    const std::string prompt = LT3("Prozedurfehler in '$n1':", Procedure, "", "") + " " + Description;
    std::string title = LT3("Quadrel Fehler...", "", "", "");
    if (Line != 0) title += "-" + LT3("Zeile", "", "", "") + ": " + std::to_string(Line);
    return Message_Box(prompt, Buttons_Abort_Retry_Ignore + Icon_Stop, title);
}

}  // namespace zentrel::support
