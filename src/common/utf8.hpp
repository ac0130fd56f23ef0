// UTF-8 validation shared by the wrappers and the command-line interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_buffer.hpp"

namespace korvalith {

// True when the bytes are well-formed UTF-8: shortest forms only, no
// surrogate code points, nothing above U+10FFFF.
bool is_valid_utf8(ByteView bytes) noexcept;

// The same check over text that arrives in pieces, which may split a
// character anywhere: feeding the pieces in order and then asking finish()
// answers as is_valid_utf8 over their concatenation would.
class Utf8Pieces {
public:
    // Takes the next piece; false once what came so far cannot be valid.
    bool feed(ByteView piece) noexcept;
    // True when everything fed is valid and no character was left unfinished.
    bool finish() const noexcept { return valid_ && pending_size_ == 0; }

private:
    // The start of a character that the last piece cut off.
    std::uint8_t pending_[4] = {};
    std::size_t pending_size_ = 0;
    bool valid_ = true;
};

}  // namespace korvalith
