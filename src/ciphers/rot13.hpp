// ROT13: the Caesar shift by 13, its own inverse.
#pragma once

#include "ciphers/caesar.hpp"

namespace korvalith {

// Each ASCII letter moved 13 places within its case; other bytes unchanged.
inline constexpr unsigned ROT13_ROW = 13;

// Writes `text` into `out` (text.size() bytes) rotated.
inline void rot13_into(ByteView text, std::uint8_t* out) noexcept { shift_letters_into(text, ROT13_ROW, out); }

CoreResult<ByteBuffer> rot13_cipher(ByteView text);

}  // namespace korvalith
