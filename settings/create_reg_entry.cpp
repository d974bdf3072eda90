#include "settings/procedure_steps.h"
#include "settings/registry_access.h"

#include <cmath>
#include <stdexcept>

namespace zentrel::settings {

namespace {

constexpr const char* Procedure = "CreateRegEntry";
constexpr const char* Create_Failed =
    "Fehler beim Erstellen des Registrierungswerts: $crSchlüssel=$n1$crDLL Rückgabewert=$n2";

void show(support::Support_Routines& support, const std::string& value_name, long code) {
    support.Message_Box(support.LT3(Create_Failed, value_name, std::to_string(code), ""), support::Buttons_OK,
                        "Quadrel");
}

// The value as a 32-bit integer: a regional number, rounded half to even.
std::int32_t to_integer(const std::string& value, const platform::Regional_Settings& regional) {
    const auto number = platform::parse_number(value, regional);
    if (!number) throw std::invalid_argument("Typen unverträglich: '" + value + "' ist keine Zahl");
    double rounded = std::floor(*number);
    const double rest = *number - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2.0) != 0)) rounded += 1;
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        throw std::overflow_error("Überlauf: '" + value + "' passt in keine 32-Bit-Zahl");
    return static_cast<std::int32_t>(rounded);
}

}  // namespace

bool CreateRegEntry(support::Support_Routines& support, platform::Registry_Root root, const std::string& key_path,
                    const std::string& Value_Name, const std::string& value, std::uint32_t value_type, bool quiet) {
    bool result = false;
    platform::Registry_Key key = 0;
    long code = platform::ERROR_SUCCESS;
    auto close_key = [&] {
        if (key != 0) platform::Reg_Close_Key(key);
        key = 0;
    };

    if (Run_Step(support, Procedure, !quiet, [&] { code = platform::Reg_Create_Key(root, key_path, key); }) !=
        Step_Outcome::Done) {
        close_key();
        return result;
    }
    if (code != platform::ERROR_SUCCESS) {
        key = 0;
        if (!quiet) show(support, Value_Name, code);
        return result;
    }

    const Step_Outcome written = Run_Step(support, Procedure, !quiet, [&] {
        if (value_type == platform::REG_SZ) {
            code = platform::Reg_Set_Value(key, Value_Name, platform::REG_SZ,
                                           reinterpret_cast<const unsigned char*>(value.data()),
                                           static_cast<std::uint32_t>(value.size()));
        } else if (value_type == platform::REG_DWORD) {
            const auto number = static_cast<std::uint32_t>(to_integer(value, support.regional()));
            const unsigned char bytes[4] = {static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
                                            static_cast<unsigned char>(number >> 16),
                                            static_cast<unsigned char>(number >> 24)};
            code = platform::Reg_Set_Value(key, Value_Name, platform::REG_DWORD, bytes, 4);
        }
    });
    // A write the user chose to skip wrote nothing, so it is no success.
    if (written == Step_Outcome::Done) {
        if (code == platform::ERROR_SUCCESS)
            result = true;
        else if (!quiet)
            show(support, Value_Name, code);
    }
    close_key();
    return result;
}

void Save_Setting(support::Support_Routines& support, const std::string& Value_Name, const std::string& Value,
                  bool Show_Errors) {
    CreateRegEntry(support, platform::HKEY_CURRENT_USER, Settings_Key, Value_Name, Value, platform::REG_SZ,
                   !Show_Errors);
}

}  // namespace zentrel::settings
