#include "settings/stored_settings.h"

#include "platform/date_value.h"
#include "platform/reg_file_store.h"
#include "settings/option_interlocks.h"
#include "settings/registry_access.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace zentrel::settings {

namespace {

// A stored check state: the number rounded half to even. Anything that is
// not 0, 1 or 2 then (no number, 3, -1) is no state a box can take, and reads
// as unchecked.
int check_state_from(const std::string& text, const platform::Regional_Settings& regional) {
    const double number = support::Num_Value(text, regional);
    if (!std::isfinite(number)) return 0;
    double rounded = std::floor(number);
    const double rest = number - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2.0) != 0)) rounded += 1;
    return rounded >= 0 && rounded <= 2 ? static_cast<int>(rounded) : 0;
}

}  // namespace

std::string Stored_Date_Text(const std::string& field_text, const platform::Regional_Settings& regional) {
    const auto date = platform::parse_date(field_text, regional);
    if (!date) return field_text;
    const platform::Date_Parts parts = platform::split_date_value(*date);
    char text[64];
    if (parts.hour == 0 && parts.minute == 0 && parts.second == 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", parts.year, parts.month, parts.day,
                      parts.hour, parts.minute, parts.second);
    return text;
}

std::optional<double> Stored_Date(const std::string& stored, const platform::Regional_Settings& regional) {
    const std::size_t start = stored.find_first_not_of(" \t");
    const bool iso = start != std::string::npos && stored.size() >= start + 10 && stored[start + 4] == '-' &&
                     stored[start + 7] == '-';
    if (!iso) return platform::parse_date(stored, regional);
    // Read by the ISO rules alone, so that no regional order can take it.
    platform::Regional_Settings rules = regional;
    rules.date_order = platform::Date_Order::Year_Month_Day;
    rules.date_separator = '-';
    rules.time_separator = ':';
    return platform::parse_date(stored, rules);
}

Job_Options Load_Settings(support::Support_Routines& support, Load_Report& report) {
    report = Load_Report{};
    Job_Options settings;
    const auto location = platform::reg_file::location_of(platform::HKEY_CURRENT_USER);
    platform::reg_file::Document document;
    const platform::reg_file::Reading reading = platform::reg_file::read_document(*location, document);
    report.file = reading.path;
    report.damaged_copy = platform::reg_file::damaged_copy_of(*location);
    switch (reading.status) {
        case platform::reg_file::File_Status::Read:
            report.state = document.damaged ? Store_State::Damaged : Store_State::Sound;
            report.first_damaged_line = document.first_damaged_line;
            break;
        case platform::reg_file::File_Status::Missing:
            report.state = Store_State::Missing;
            break;
        case platform::reg_file::File_Status::Too_Large:
            report.state = Store_State::Too_Large;
            report.size = reading.size;
            break;
        case platform::reg_file::File_Status::Not_A_File:
            report.state = Store_State::Not_A_File;
            report.mode = reading.mode;
            break;
        case platform::reg_file::File_Status::Unreadable:
            report.state = Store_State::Unreadable;
            report.error_number = reading.error_number;
            break;
    }

    const platform::reg_file::Key* key = document.find(platform::reg_file::normalized_key_path(Settings_Key));
    auto stored = [&](const char* name) -> std::string {
        const platform::reg_file::Value* value = key ? key->find(name) : nullptr;
        if (!value) return "";
        const std::uint64_t length = value->data.size();
        if (length > Longest_Setting + 1u) {
            report.refused.push_back({name, Refused_Value::Reason::Too_Long, length, {}});
            return "";
        }
        if (report.state == Store_State::Damaged) report.kept.push_back(name);
        return Stored_Text(value->type, reinterpret_cast<const unsigned char*>(value->data.data()),
                           static_cast<std::uint32_t>(length));
    };

    for (const Text_Setting_Entry& text : Text_Settings)
        if (text.member != &Job_Options::Later_then) settings.*text.member = stored(text.stored);
    if (settings.Include_Filter.empty()) settings.Include_Filter = "*.*";
    for (const Option_Box_Entry& box : Option_Boxes)
        settings.*box.member = check_state_from(stored(box.name), support.regional());
    // Only_newer is loaded before Synchronize, while Synchronize is still
    // clear: only Synchronize's own handler has an effect.
    Option_Click(settings, &Job_Options::Synchronize);
    settings.Sync_Deletions =
        check_state_from(stored(Stored_Name(&Job_Options::Sync_Deletions)), support.regional()) == 1 ? 1 : 0;

    // A stored date is shown in the regional short form; a text that is no
    // date leaves the field empty, and the report names it.
    const char* const date_name = Stored_Name(&Job_Options::Later_then);
    const std::string later = stored(date_name);
    if (!later.empty()) {
        if (const auto date = Stored_Date(later, support.regional()))
            settings.Later_then = platform::format_date(*date, support.regional());
        else
            report.refused.push_back({date_name, Refused_Value::Reason::Not_A_Date, 0, later});
    }
    return settings;
}

Job_Options Load_Settings(support::Support_Routines& support) {
    Load_Report ignored;
    return Load_Settings(support, ignored);
}

Save_Report Save_Settings(const Job_Options& settings, support::Support_Routines& support) {
    Save_Report report;
    std::vector<std::pair<const char*, std::string>> values;
    for (const Text_Setting_Entry& text : Text_Settings) {
        const std::string& value = settings.*text.member;
        // An empty folder field keeps the folder stored before.
        const bool folder = text.member == &Job_Options::Sourcefolder || text.member == &Job_Options::Targetfolder;
        if (text.member == &Job_Options::Later_then || (folder && value.empty())) continue;
        values.emplace_back(text.stored, value);
    }
    for (const Option_Box_Entry& box : Option_Boxes)
        values.emplace_back(box.name, std::to_string(settings.*box.member));
    values.emplace_back(Stored_Name(&Job_Options::Later_then),
                        Stored_Date_Text(settings.Later_then, support.regional()));
    values.emplace_back(Stored_Name(&Job_Options::Sync_Deletions), std::to_string(settings.Sync_Deletions));
    // What the next load would refuse is not written; the value stored before stays.
    std::erase_if(values, [&](const auto& value) {
        if (value.second.size() <= Longest_Setting) return false;
        report.not_written.push_back(value.first);
        return true;
    });

    const auto location = platform::reg_file::location_of(platform::HKEY_CURRENT_USER);
    report.file = location->path;
    const std::string key_path = platform::reg_file::normalized_key_path(Settings_Key);
    report.code = platform::reg_file::update(
        *location,
        [&](platform::reg_file::Document& document) {
            platform::reg_file::Key& key = document.create(key_path);
            bool changed = false;
            for (const auto& [name, text] : values) {
                const bool added = key.find(name) == nullptr;
                platform::reg_file::Value& value = key.set(name);
                std::string data = text + '\0';
                if (!added && value.type == platform::REG_SZ && value.data == data) continue;
                value.type = platform::REG_SZ;
                value.data = std::move(data);
                changed = true;
            }
            return changed;
        },
        &report.error_number);
    return report;
}

}  // namespace zentrel::settings
