// The integer values of the command line (the Caesar shift), read as typed.
#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

namespace korvalith::cli {

// Reads a decimal integer with an optional sign into 64 bits, digit by digit
// from the left; the first problem met is the reason given ("invalid digit
// found in string", "cannot parse integer from empty string", "number too
// large to fit in target type", "number too small to fit in target type").
std::expected<std::int64_t, std::string_view> parse_decimal(std::string_view text);

}  // namespace korvalith::cli
