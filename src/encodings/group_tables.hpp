// Compile-time tables behind the encoders' and decoders' whole-group fast
// paths, shared by Base32 and Base64.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvalith {

using CharPair = std::array<std::uint8_t, 2>;

// The two characters of every (2 * BITS)-bit value, for an alphabet of
// 2^BITS characters: one lookup writes two characters.
template <unsigned BITS>
constexpr std::array<CharPair, (1u << (2 * BITS))> character_pairs(std::string_view alphabet) {
    std::array<CharPair, (1u << (2 * BITS))> pairs{};
    for (std::size_t value = 0; value < pairs.size(); ++value) {
        pairs[value] = {static_cast<std::uint8_t>(alphabet[value >> BITS]),
                        static_cast<std::uint8_t>(alphabet[value & ((1u << BITS) - 1)])};
    }
    return pairs;
}

// For one position in a group: each byte's value from `decode` (255 meaning
// invalid) shifted into its place among the group's bits, or `not_plain` for
// an invalid byte, so the OR of a group's entries shows at once whether every
// byte of it was a plain character.
constexpr std::array<std::uint32_t, 256> shifted_decode_table(const std::array<std::uint8_t, 256>& decode,
                                                              unsigned shift, std::uint32_t not_plain) {
    std::array<std::uint32_t, 256> table{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const std::uint8_t value = decode[byte];
        table[byte] = value == 255 ? not_plain : static_cast<std::uint32_t>(value) << shift;
    }
    return table;
}

}  // namespace korvalith
