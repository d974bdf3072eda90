// Reading and writing registry values as text, with the messages the user
// sees when that fails.
#pragma once

#include "platform/registry_store.h"
#include "support/support_routines.h"

#include <string>

namespace zentrel::settings {

inline constexpr const char* Settings_Key = "Software\\Marravel\\Zentrel";

// Stored data as text, by the type the store reports for it: a text without
// its terminator, a number in decimal, anything else "1".
std::string Stored_Text(std::uint32_t stored_type, const unsigned char* data, std::uint32_t length);

// One value as text, read whole up to Longest_Setting bytes; the empty text when the key or value is missing or
// cannot be read (with a message when Show_Errors).
std::string GetRegValue(support::Support_Routines& support, platform::Registry_Root root, const std::string& key_path,
                        const std::string& Value_Name, std::uint32_t value_type, bool Show_Errors);
// Creates the key (with every missing parent) and writes one value; true on
// success. Types other than text (1) and number (4) write nothing.
bool CreateRegEntry(support::Support_Routines& support, platform::Registry_Root root, const std::string& key_path,
                    const std::string& Value_Name, const std::string& value, std::uint32_t value_type, bool quiet);

// A value of the settings key of the current user.
std::string Get_Setting(support::Support_Routines& support, const std::string& Value_Name, bool Show_Errors);
void Save_Setting(support::Support_Routines& support, const std::string& Value_Name, const std::string& Value,
                  bool Show_Errors);

}  // namespace zentrel::settings
