#pragma once

#include <string_view>

namespace selvik {

// The one definition of the program's version; the build reads it from here.
inline constexpr std::string_view kVersion = "1.0.0.1";

}  // namespace selvik
