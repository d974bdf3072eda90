// The thirteen stored settings of the window, loaded when it opens and saved
// when it closes. A load reads the settings file once, a save writes it once
// (and not at all when nothing changed).
#pragma once

#include "settings/setting_names.h"
#include "settings/settings_report.h"
#include "support/support_routines.h"

namespace zentrel::settings {

// The stored values, settled by the option interlocks as the window settles
// when it opens with them. report says what was wrong with the file or a value.
Job_Options Load_Settings(support::Support_Routines& support, Load_Report& report);
Job_Options Load_Settings(support::Support_Routines& support);
// Stores the values; the report says whether that failed, and the caller
// decides how to say it.
Save_Report Save_Settings(const Job_Options& settings, support::Support_Routines& support);

// The date field's text as stored: a date in ISO 8601 ("2024-06-01",
// "2024-06-01T07:08:00"), read the same under every locale; a text that is
// no date is stored unchanged.
std::string Stored_Date_Text(const std::string& field_text, const platform::Regional_Settings& regional);
// A stored date: the ISO form, or an older file's regional text read by the
// reader's rules.
std::optional<double> Stored_Date(const std::string& stored, const platform::Regional_Settings& regional);

}  // namespace zentrel::settings
