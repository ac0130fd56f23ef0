// Compile-time tables behind the encoders' and decoders' whole-group fast
// paths, shared by Base32 and Base64.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvalith {

// The two characters of every (2 * BITS)-bit value, for an alphabet of
// 2^BITS characters: one lookup writes two characters.
template <unsigned BITS>
class CharacterPairs {
public:
    constexpr explicit CharacterPairs(std::string_view alphabet) {
        for (std::size_t value = 0; value < pairs_.size(); ++value) {
            pairs_[value] = {static_cast<std::uint8_t>(alphabet[value >> BITS]),
                             static_cast<std::uint8_t>(alphabet[value & ((1u << BITS) - 1)])};
        }
    }

    // Writes the two characters of `value` (2 * BITS bits) at `out`.
    void write(std::uint8_t* out, std::uint32_t value) const noexcept { std::memcpy(out, pairs_[value].data(), 2); }

private:
    std::array<std::array<std::uint8_t, 2>, (1u << (2 * BITS))> pairs_{};
};

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

// The values of four characters at once, for the plain decoders' loops over
// whole groups: per position among the four, each byte's value already
// shifted into place among the four characters' 4 * BITS bits. A byte
// outside the alphabet, "=" included, maps to a value with bits above them
// (NOT_PLAIN), so one test of the OR of a group's entries tells whether the
// group is plain.
template <unsigned BITS>
class FourCharacterDecoder {
public:
    static constexpr std::uint32_t NOT_PLAIN = ~std::uint32_t{0} << (4 * BITS);

    constexpr explicit FourCharacterDecoder(const std::array<std::uint8_t, 256>& decode) {
        for (unsigned position = 0; position < 4; ++position) {
            tables_[position] = shifted_decode_table(decode, BITS * (3 - position), NOT_PLAIN);
        }
    }

    // The bits of the four characters at `in`, or a value with NOT_PLAIN bits.
    std::uint32_t operator()(const std::uint8_t* in) const noexcept {
        return tables_[0][in[0]] | tables_[1][in[1]] | tables_[2][in[2]] | tables_[3][in[3]];
    }

private:
    std::array<std::array<std::uint32_t, 256>, 4> tables_{};
};

}  // namespace korvalith
