// Twips, the window's layout unit: 15 to a device-independent pixel.
#pragma once

#include <cmath>

namespace zentrel::window {

inline constexpr double Twips_Per_Pixel = 15;

// Halves go to the even neighbour, as the layout's own rounding does.
inline int pixels(double twips) { return static_cast<int>(std::nearbyint(twips / Twips_Per_Pixel)); }
inline double twips(int pixels) { return pixels * Twips_Per_Pixel; }

}  // namespace zentrel::window
