#include "window/form.h"

#include <iterator>

namespace zentrel::window {

namespace {

constexpr const char* Control_Names[] = {
#define ZENTREL_CONTROL_NAME(name) #name,
    ZENTREL_CONTROLS(ZENTREL_CONTROL_NAME)
#undef ZENTREL_CONTROL_NAME
};

}  // namespace

const char* Control_Name(Control control) {
    const auto index = static_cast<std::size_t>(control);
    return index < std::size(Control_Names) ? Control_Names[index] : "";
}

std::optional<Control> Control_Named(std::string_view name) {
    for (std::size_t index = 0; index < std::size(Control_Names); ++index)
        if (name == Control_Names[index]) return static_cast<Control>(index);
    return std::nullopt;
}

}  // namespace zentrel::window
