#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace selvik::app {

// Reads an integer typed into a field: of the first 31 characters, blanks and
// tabs are skipped at both ends, and what remains must be a decimal integer
// with an optional sign that fits 32 bits. Empty otherwise.
std::optional<std::int32_t> parseFieldInteger(std::string_view text);

}  // namespace selvik::app
