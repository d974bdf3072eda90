#include "settings/procedure_steps.h"
#include "settings/registry_access.h"
#include "settings/settings_report.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zentrel::settings {

namespace {

constexpr const char* Procedure = "GetRegValue";
// A text is read whole up to Longest_Setting bytes and its terminator.
constexpr std::uint32_t Text_Buffer_Size = Longest_Setting + 1;
constexpr const char* Open_Failed = "Fehler beim Öffnen des Registrierungswerts: $crPfad=$n1$crDLL Rückgabewert=$n2";
constexpr const char* Read_Failed =
    "Fehler beim Lesen des Registrierungswerts: $crSchlüssel=$n1$crDLL Rückgabewert=$n2";

void show(support::Support_Routines& support, const char* message, const std::string& value, long code) {
    support.Message_Box(support.LT3(message, value, std::to_string(code), ""), support::Buttons_OK, "Quadrel");
}

}  // namespace

std::string Stored_Text(std::uint32_t stored_type, const unsigned char* data, std::uint32_t length) {
    if (length == 0) return "";
    switch (stored_type) {
        case platform::REG_SZ:
        case platform::REG_EXPAND_SZ:
            // The length counts the terminator; %-variables stay as stored.
            return std::string(reinterpret_cast<const char*>(data), length - 1);
        case platform::REG_DWORD: {
            std::uint32_t number = 0;
            for (std::uint32_t i = std::min<std::uint32_t>(length, 4); i-- > 0;) number = (number << 8) | data[i];
            return std::to_string(number);
        }
        default:
            return "1";
    }
}

std::string GetRegValue(support::Support_Routines& support, platform::Registry_Root root, const std::string& key_path,
                        const std::string& Value_Name, std::uint32_t value_type, bool Show_Errors) {
    std::string result;
    platform::Registry_Key key = 0;
    long code = platform::ERROR_SUCCESS;
    // Whatever way the routine ends, it leaves no key open.
    auto close_key = [&] {
        if (key != 0) platform::Reg_Close_Key(key);
        key = 0;
    };
    auto run = [&](const std::function<void()>& step) {
        const Step_Outcome outcome = Run_Step(support, Procedure, true, step);
        if (outcome == Step_Outcome::Aborted) close_key();
        return outcome != Step_Outcome::Aborted;
    };

    if (!run([&] { code = platform::Reg_Open_Key(root, key_path, key); })) return result;
    if (code != platform::ERROR_SUCCESS) {
        key = 0;
        if (Show_Errors) show(support, Open_Failed, key_path, code);
        return result;
    }

    // Large enough for either kind of query: a whole text or one 32-bit number.
    std::vector<unsigned char> buffer(Text_Buffer_Size);
    std::uint32_t stored_type = 0;
    std::uint32_t length = 0;
    if (!run([&] {
            code = platform::ERROR_SUCCESS;
            length = 0;
            std::fill(buffer.begin(), buffer.end(), 0);
            if (value_type == platform::REG_SZ || value_type == platform::REG_EXPAND_SZ) {
                length = Text_Buffer_Size;
                code = platform::Reg_Query_Value(key, Value_Name, stored_type, buffer.data(), length);
            } else if (value_type == platform::REG_DWORD) {
                length = 4;
                code = platform::Reg_Query_Value(key, Value_Name, stored_type, buffer.data(), length);
            }
        }))
        return result;
    if (code != platform::ERROR_SUCCESS) {
        if (Show_Errors) show(support, Read_Failed, Value_Name, code);
        close_key();
        return result;
    }

    close_key();
    if (length >= 1) run([&] { result = Stored_Text(stored_type, buffer.data(), length); });
    return result;
}

std::string Get_Setting(support::Support_Routines& support, const std::string& Value_Name, bool Show_Errors) {
    return GetRegValue(support, platform::HKEY_CURRENT_USER, Settings_Key, Value_Name, platform::REG_SZ, Show_Errors);
}

}  // namespace zentrel::settings
