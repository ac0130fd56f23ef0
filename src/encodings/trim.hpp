// Input preparation of the Python decode functions of Base32 and Base64.
#pragma once

#include "common/byte_buffer.hpp"

namespace korvalith {

// The part of UTF-8 `text` left after removing every character with the
// Unicode White_Space property from both ends, then every "=" at the end.
// White space before the removed "=" stays.
ByteView trim_for_decode(ByteView text) noexcept;

}  // namespace korvalith
