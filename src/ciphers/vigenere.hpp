// The Vigenère cipher over ASCII text with an alphabetic key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_buffer.hpp"

namespace korvalith {

// Shifts every ASCII letter of `text` by the shift of the current key letter
// (a/A = 0 .. z/Z = 25), backwards when decrypting. The key position moves on
// after every byte, or only after letters when `skip_non_alpha` is set. Text
// and key must be ASCII and the key non-empty and alphabetic; otherwise the
// result is a core error. The result has the text's length.
CoreResult<ByteBuffer> vigenere_cipher(ByteView text, ByteView key, bool decrypt, bool skip_non_alpha);

// The same cipher in parts, for text that comes in pieces. vigenere_cipher is
// vigenere_check_text, then VigenereKey::make (so a text that is not ASCII is
// reported before anything about the key), then vigenere_cipher_into from
// key position 0.

// A checked key: one CAESAR_TABLE row per key letter, backwards when
// decrypting.
class VigenereKey {
public:
    // Fails with "Only ASCII input is supported" for a key that is not ASCII,
    // then with the key message for an empty key or one holding anything but
    // letters.
    static CoreResult<VigenereKey> make(ByteView key, bool decrypt);

    std::size_t size() const noexcept { return rows_.size(); }
    const std::uint8_t* rows() const noexcept { return rows_.data(); }

private:
    ByteBuffer rows_;
};

// Fails with "Only ASCII input is supported" unless every byte is ASCII.
CoreResult<void> vigenere_check_text(ByteView text);

// Writes the cipher of `text` (checked) into `out` (text.size() bytes), the
// first byte with the key letter at `position` (below key.size()), and
// returns the key position after the text, where the next piece goes on.
std::size_t vigenere_cipher_into(ByteView text, const VigenereKey& key, bool skip_non_alpha, std::uint8_t* out,
                                 std::size_t position) noexcept;

}  // namespace korvalith
