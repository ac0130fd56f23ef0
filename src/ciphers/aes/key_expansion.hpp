// The AES key schedule for 128-, 192- and 256-bit keys, and the S-box and
// round constants it uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ciphers/aes/multiply_tables.hpp"
#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"
#include "common/secure_wipe.hpp"

namespace korvalith::aes {

// The S-box: the multiplicative inverse in GF(2^8) (0 maps to 0) followed by
// the affine transform b ^ rotl(b,1) ^ rotl(b,2) ^ rotl(b,3) ^ rotl(b,4) ^ 0x63.
consteval ByteTable make_sbox() {
    // Powers and logarithms to the generator 3 give every inverse in one step.
    ByteTable power{};
    ByteTable logarithm{};
    std::uint8_t x = 1;
    for (unsigned exponent = 0; exponent < 255; ++exponent) {
        power[exponent] = x;
        logarithm[x] = static_cast<std::uint8_t>(exponent);
        x = gf_multiply(x, 3);
    }
    auto rotate_left = [](unsigned byte, unsigned count) {
        return ((byte << count) | (byte >> (8 - count))) & 0xFFU;
    };
    ByteTable sbox{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned inverse = b == 0 ? 0 : power[(255 - logarithm[b]) % 255];
        unsigned affine = inverse ^ rotate_left(inverse, 1) ^ rotate_left(inverse, 2) ^ rotate_left(inverse, 3)
                          ^ rotate_left(inverse, 4) ^ 0x63U;
        sbox[b] = static_cast<std::uint8_t>(affine);
    }
    return sbox;
}

inline constexpr ByteTable SBOX = make_sbox();
static_assert(SBOX[0x00] == 0x63 && SBOX[0x01] == 0x7C && SBOX[0x53] == 0xED && SBOX[0xFF] == 0x16);

// Round constants: the constant byte sits in the low 8 bits and is shifted
// into the most significant byte of the word where it is used.
inline constexpr std::array<std::uint32_t, 10> RCON = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36};

inline constexpr std::size_t MAX_ROUNDS = 14;

// One round key: the 16 bytes XORed into the state, byte i into state byte i.
// Read as a big-endian 128-bit number it is w[4r]·2^96 + ... + w[4r+3].
struct RoundKey {
    alignas(16) std::array<std::uint8_t, 16> bytes{};

    // Word w[4r + column] of the expanded key.
    constexpr std::uint32_t word(std::size_t column) const noexcept {
        const std::uint8_t* b = bytes.data() + 4 * column;
        return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
    }
};

// An expanded key: Nr + 1 round keys, round key 0 first. Held by value in
// room for the largest key size, so expanding a key needs no heap memory.
// Every copy wipes its round keys when it goes out of scope.
struct KeySchedule {
    std::size_t rounds = 0;  // Nr: 10, 12 or 14
    std::array<RoundKey, MAX_ROUNDS + 1> round_keys{};

    KeySchedule() = default;
    KeySchedule(const KeySchedule&) = default;
    KeySchedule& operator=(const KeySchedule&) = default;
    ~KeySchedule() { secure_wipe(round_keys.data(), sizeof round_keys); }

    std::span<const RoundKey> keys() const noexcept { return {round_keys.data(), rounds + 1}; }
    // Word w[i] of the expanded key, 0 <= i < 4·(Nr + 1).
    std::uint32_t word(std::size_t index) const noexcept { return round_keys[index / 4].word(index % 4); }
};

// The number of rounds for a key length (16 → 10, 24 → 12, 32 → 14), or
// "Invalid key length: N" for any other length.
CoreResult<std::size_t> rounds_for_key_length(std::size_t key_length);

// Expands a 16-, 24- or 32-byte key into its round keys.
CoreResult<KeySchedule> expand_key(ByteView key);

}  // namespace korvalith::aes
