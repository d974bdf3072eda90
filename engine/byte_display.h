// How a byte total is shown: a value and its unit, in decimal GBytes or
// MBytes with three places above a billion or a million, else the plain
// number of bytes.
#pragma once

#include "platform/regional.h"

#include <string>

namespace zentrel::engine {

// Which unit texts: the evaluation's ("... zu kopieren") or the walk's ("... kopiert").
enum class Byte_Count_Kind { To_Copy, Copied };

struct Byte_Display_Text {
    std::string value;
    std::string unit;
};

Byte_Display_Text Byte_Display(double total, Byte_Count_Kind kind, const platform::Regional_Settings& regional);

}  // namespace zentrel::engine
