// What loading or saving the stored settings found wrong with the settings
// file, as values, and the one text each front end shows for it: the window
// as a message box, the run without a window on standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zentrel::settings {

// Longest stored text that is read (and written): far above any filter or
// folder a person types, small enough that no file can hold up a start.
inline constexpr std::uint32_t Longest_Setting = 64u << 10;

enum class Store_State { Sound, Missing, Damaged, Too_Large, Not_A_File, Unreadable };

struct Refused_Value {
    enum class Reason { Too_Long, Not_A_Date };
    std::string name;  // as stored, e.g. "Exclude_Filter"
    Reason reason = Reason::Too_Long;
    std::uint64_t size = 0;  // Too_Long: bytes stored
    std::string text;        // Not_A_Date: the stored text
};

struct Load_Report {
    std::string file;  // the settings file read, or looked for
    Store_State state = Store_State::Missing;
    int error_number = 0;                // Unreadable
    std::uint32_t mode = 0;              // Not_A_File: what is there
    std::uint64_t size = 0;              // Too_Large
    std::size_t first_damaged_line = 0;  // Damaged, when a line is to blame
    std::vector<std::string> kept;       // Damaged, Too_Large: the settings taken over
    std::string damaged_copy;            // where the window's save keeps the damaged file
    std::vector<Refused_Value> refused;
};

struct Save_Report {
    std::string file;
    long code = 0;  // the store's return code; 0 when saved (or nothing changed)
    int error_number = 0;
    std::vector<std::string> not_written;  // longer than Longest_Setting
};

// The text for the user, empty when there is nothing to say. at_close tells
// whether the caller saves at its end (the window), which replaces a damaged
// file and keeps the old one aside.
std::string Load_Report_Text(const Load_Report& report, bool saved_at_close);
std::string Save_Report_Text(const Save_Report& report);
// Why a run has no job: what is missing, and the settings file it came from.
std::string No_Stored_Job_Text(const Load_Report& report, bool source_missing, bool target_missing);

}  // namespace zentrel::settings
