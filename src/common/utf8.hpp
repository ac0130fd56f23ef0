// UTF-8 validation shared by the wrappers and the command-line interface.
#pragma once

#include "common/byte_buffer.hpp"

namespace korvalith {

// True when the bytes are well-formed UTF-8: shortest forms only, no
// surrogate code points, nothing above U+10FFFF.
bool is_valid_utf8(ByteView bytes) noexcept;

}  // namespace korvalith
