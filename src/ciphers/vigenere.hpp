// The Vigenère cipher over ASCII text with an alphabetic key.
#pragma once

#include "common/byte_buffer.hpp"

namespace korvalith {

// Shifts every ASCII letter of `text` by the shift of the current key letter
// (a/A = 0 .. z/Z = 25), backwards when decrypting. The key position moves on
// after every byte, or only after letters when `skip_non_alpha` is set. Text
// and key must be ASCII and the key non-empty and alphabetic; otherwise the
// result is a core error. The result has the text's length.
CoreResult<ByteBuffer> vigenere_cipher(ByteView text, ByteView key, bool decrypt, bool skip_non_alpha);

}  // namespace korvalith
