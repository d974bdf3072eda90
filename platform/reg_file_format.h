// The registry of one root as held in memory, and its REGEDIT4 text form:
//
//     REGEDIT4
//
//     [HKEY_CURRENT_USER\Software\Marravel\Zentrel]
//     "Sourcefolder"="/home/anna/Fotos"
//     @="default value"
//     "N"=dword:00000005
//     "B"=hex:01,02
//     "E"=hex(2):25,00
//
// Reading is forgiving: whatever parses is kept, every line that does not is
// skipped (and marks the document as damaged), so a broken file still gives
// the values it holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zentrel::platform::reg_file {

struct Value {
    std::string name;  // "" is the key's default value
    std::uint32_t type = 0;
    std::string data;  // the bytes; a text counts its terminating NUL
};

struct Key {
    std::string path;  // below the root, components joined by '\', "" for the root itself
    std::vector<Value> values;
};

// Names of keys and values compare without regard to ASCII letter case, as
// Windows compares them.
bool same_name(std::string_view a, std::string_view b);

// A key path with empty components dropped ("\a\\b\" is "a\b").
std::string normalized_key_path(std::string_view path);

struct Document {
    std::vector<Key> keys;  // in the order of the file
    bool damaged = false;   // some part of the text did not parse

    Key* find(std::string_view path);
    // True for a key of its own and for one that only holds other keys.
    bool exists(std::string_view path) const;
    // The key, created together with every missing key above it.
    Key& create(std::string_view path);
};

const Value* find_value(const Key& key, std::string_view name);

// root_name is the section prefix of this file, e.g. "HKEY_CURRENT_USER";
// sections of other roots are skipped.
Document parse(std::string_view text, std::string_view root_name);
std::string write(const Document& document, std::string_view root_name);

}  // namespace zentrel::platform::reg_file
