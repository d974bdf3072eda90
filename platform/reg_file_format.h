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
// the values it holds. Keys and values are found through an index, so a
// file of many sections or many repeated names still loads in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zentrel::platform::reg_file {

struct Value {
    std::string name;  // "" is the key's default value
    std::uint32_t type = 0;
    std::string data;  // the bytes; a text counts its terminating NUL
};

// Deeper keys, or key names longer than Windows allows, are no key this
// program reads or writes: their sections are skipped as damage, so that a
// hostile path cannot make every look-up and every save cost its depth.
inline constexpr std::size_t Deepest_Key = 64;
inline constexpr std::size_t Longest_Key_Name = 255;

struct Key {
    std::string path;  // below the root, components joined by '\', "" for the root itself
    std::vector<Value> values;

    const Value* find(std::string_view name) const;
    // The value of that name, appended when missing; an existing one keeps
    // the spelling of its name.
    Value& set(std::string_view name);

    // Lower-cased name to position in values; kept by set().
    std::unordered_map<std::string, std::size_t> value_index;
};

// Names of keys and values compare without regard to ASCII letter case, as
// Windows compares them.
bool same_name(std::string_view a, std::string_view b);

// A key path with empty components dropped ("\a\\b\" is "a\b").
std::string normalized_key_path(std::string_view path);

struct Document {
    std::vector<Key> keys;               // in the order of the file
    bool damaged = false;                // some part of the text did not parse
    std::size_t first_damaged_line = 0;  // 1-based; 0 when none (or only the header is wrong)

    Key* find(std::string_view path);
    // True for a key of its own and for one that only holds other keys.
    bool exists(std::string_view path) const;
    // The key, created together with every missing key above it.
    Key& create(std::string_view path);
    // The key alone, as a section read from a file brings it.
    Key& section(std::string_view path);

    // Lower-cased path to position in keys; kept by create() and section().
    std::unordered_map<std::string, std::size_t> key_index;
};

const Value* find_value(const Key& key, std::string_view name);

// Whether a normalised key path is within Deepest_Key and Longest_Key_Name.
bool acceptable_key_path(std::string_view path);

// root_name is the section prefix of this file, e.g. "HKEY_CURRENT_USER";
// sections of other roots are skipped.
Document parse(std::string_view text, std::string_view root_name);
std::string write(const Document& document, std::string_view root_name);

}  // namespace zentrel::platform::reg_file
