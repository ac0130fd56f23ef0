#include "ciphers/vigenere.hpp"

#include <cstring>

#include "ciphers/caesar.hpp"

namespace korvalith {

namespace {

constexpr const char* ASCII_ONLY = "Only ASCII input is supported";
constexpr const char* BAD_KEY = "Key must be non-empty and contain only alphabetic characters";

constexpr bool is_letter(std::uint8_t byte) { return static_cast<std::uint8_t>((byte | 0x20) - 'a') < 26; }

// True when no byte has its high bit set; eight bytes at a time.
bool is_ascii(ByteView bytes) noexcept {
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    std::uint64_t seen = 0;
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        seen |= word;
    }
    for (; left > 0; ++p, --left) seen |= *p;
    return (seen & 0x8080808080808080ULL) == 0;
}

// The inner loop: `rows` holds one CAESAR_TABLE row index per key letter.
// The key position is kept below the key length by wrapping it, not by a
// modulo per byte.
template <bool SkipNonAlpha>
std::size_t encipher(ByteView text, const std::uint8_t* rows, std::size_t key_length, std::uint8_t* out,
                     std::size_t position) noexcept {
    const std::uint8_t* table = CAESAR_TABLE[0].data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t byte = text[i];
        out[i] = table[std::size_t{rows[position]} * 256 + byte];
        if constexpr (SkipNonAlpha) {
            position += is_letter(byte);
        } else {
            ++position;
        }
        if (position == key_length) position = 0;
    }
    return position;
}

}  // namespace

CoreResult<VigenereKey> VigenereKey::make(ByteView key, bool decrypt) {
    if (!is_ascii(key)) return std::unexpected(CoreError::invalid(ASCII_ONLY));
    if (key.empty()) return std::unexpected(CoreError::invalid(BAD_KEY));
    for (const std::uint8_t letter : key) {
        if (!is_letter(letter)) return std::unexpected(CoreError::invalid(BAD_KEY));
    }
    auto rows = ByteBuffer::allocate(key.size());
    if (!rows) return std::unexpected(std::move(rows.error()));
    for (std::size_t i = 0; i < key.size(); ++i) {
        const unsigned index = static_cast<unsigned>((key[i] | 0x20) - 'a');
        rows->data()[i] = static_cast<std::uint8_t>(decrypt ? (26 - index) % 26 : index);
    }
    VigenereKey made;
    made.rows_ = std::move(*rows);
    return made;
}

CoreResult<void> vigenere_check_text(ByteView text) {
    if (!is_ascii(text)) return std::unexpected(CoreError::invalid(ASCII_ONLY));
    return {};
}

std::size_t vigenere_cipher_into(ByteView text, const VigenereKey& key, bool skip_non_alpha, std::uint8_t* out,
                                 std::size_t position) noexcept {
    if (skip_non_alpha) return encipher<true>(text, key.rows(), key.size(), out, position);
    return encipher<false>(text, key.rows(), key.size(), out, position);
}

CoreResult<ByteBuffer> vigenere_cipher(ByteView text, ByteView key, bool decrypt, bool skip_non_alpha) {
    if (auto checked = vigenere_check_text(text); !checked) return std::unexpected(std::move(checked.error()));
    auto prepared = VigenereKey::make(key, decrypt);
    if (!prepared) return std::unexpected(std::move(prepared.error()));
    if (text.empty()) return ByteBuffer{};
    auto out = ByteBuffer::allocate(text.size());
    if (out) vigenere_cipher_into(text, *prepared, skip_non_alpha, out->data(), 0);
    return out;
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

template <bool Decrypt>
WrapperResult run_vigenere(ByteView data, ByteView key, bool skip_non_alpha) {
    return text_from_core(vigenere_cipher(data, key, Decrypt, skip_non_alpha));
}

using Encrypt = PythonFunction<"encrypt", run_vigenere<false>, Text<"data">, Text<"key">, Flag<"skip_non_alpha", true>>;
using Decrypt = PythonFunction<"decrypt", run_vigenere<true>, Text<"data">, Text<"key">, Flag<"skip_non_alpha", true>>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(vigenere, Encrypt, Decrypt);

#endif
