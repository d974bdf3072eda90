// The registry: one text file per root in the REGEDIT4 ".reg" syntax (UTF-8).
// HKEY_CURRENT_USER lives in $XDG_CONFIG_HOME/zentrel/HKEY_CURRENT_USER.reg
// (default ~/.config/zentrel/), HKEY_LOCAL_MACHINE in
// /etc/zentrel/HKEY_LOCAL_MACHINE.reg; ZENTREL_REGISTRY_DIR moves both.
// Return codes are those of Windows.
#pragma once

#include <cstdint>
#include <string>

namespace zentrel::platform {

using Registry_Root = std::uint32_t;
inline constexpr Registry_Root HKEY_CURRENT_USER = 0x80000001u;
inline constexpr Registry_Root HKEY_LOCAL_MACHINE = 0x80000002u;

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_MORE_DATA = 234;

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

using Registry_Key = std::uintptr_t;  // 0 is no key

// RegOpenKeyA: opens an existing key.
long Reg_Open_Key(Registry_Root root, const std::string& key_path, Registry_Key& key);
// RegQueryValueExA: type and data of a value; length is in: the buffer's size,
// out: the data's length (a text counts its terminating NUL). A value larger
// than the buffer gives ERROR_MORE_DATA. An empty name is the default value.
long Reg_Query_Value(Registry_Key key, const std::string& value_name, std::uint32_t& type, unsigned char* data,
                     std::uint32_t& length);
// RegCreateKeyExA: opens a key, creating every missing key on the path.
long Reg_Create_Key(Registry_Root root, const std::string& key_path, Registry_Key& key);
// RegSetValueExA: writes a value at once (the file is rewritten atomically).
long Reg_Set_Value(Registry_Key key, const std::string& value_name, std::uint32_t type, const unsigned char* data,
                   std::uint32_t length);
// RegCloseKey.
long Reg_Close_Key(Registry_Key key);

// Count of keys open now (each read and write must leave none open).
int open_registry_keys();

}  // namespace zentrel::platform
