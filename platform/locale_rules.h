// Turning the C library's description of a locale into regional rules.
#pragma once

#include "platform/regional.h"

namespace zentrel::platform {

// d_fmt and t_fmt are strftime formats as nl_langinfo gives them (D_FMT,
// T_FMT); radix and thousands the RADIXCHAR and THOUSEP texts. Whatever does
// not fit a single byte or a known date form keeps the defaults of
// Regional_Settings. A thousands separator of '\0' means the locale groups
// with none.
Regional_Settings rules_from_langinfo(const char* d_fmt, const char* t_fmt, const char* radix, const char* thousands);

}  // namespace zentrel::platform
