// The thirteen stored settings of the window, loaded when it opens and saved
// when it closes.
#pragma once

#include "support/form.h"
#include "support/support_routines.h"

namespace zentrel::settings {

// Fills the controls from the stored values, in the order that lets the
// option interlocks settle as the window expects.
void Load_Settings(support::Form& form, support::Support_Routines& support);
// Writes the controls back; never shows a message.
void Save_Settings(support::Form& form, support::Support_Routines& support);

}  // namespace zentrel::settings
