#include "encodings/base32.hpp"

#include <bit>
#include <cstring>

#include "encodings/group_tables.hpp"

namespace korvalith {

namespace {

// The characters of ten bits at a time: four lookups write a group.
constexpr CharacterPairs<5> PAIRS(BASE32_ALPHABET);

// The 20 bits of four characters, half a group.
constexpr FourCharacterDecoder<5> DECODE_HALF(BASE32_DECODE_TABLE);
constexpr std::uint32_t NOT_PLAIN = FourCharacterDecoder<5>::NOT_PLAIN;

// Eight characters of the 40 bits b0..b4.
inline void encode_group(const std::uint8_t* in, std::uint8_t* out) {
    const std::uint32_t high = static_cast<std::uint32_t>(in[0]) << 2 | in[1] >> 6;
    const std::uint32_t low = (static_cast<std::uint32_t>(in[1]) & 0x3F) << 24 |
                              static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 8 | in[4];
    PAIRS.write(out, high);
    PAIRS.write(out + 2, low >> 20);
    PAIRS.write(out + 4, (low >> 10) & 0x3FF);
    PAIRS.write(out + 6, low & 0x3FF);
}

// Characters written for a last group of 1 to 4 bytes; "=" fills the rest of its eight.
constexpr unsigned TAIL_CHARACTERS[5] = {0, 2, 4, 5, 7};

// The last, incomplete group of `count` bytes: its bits most significant
// first, zero-filled on the right, then the padding up to eight characters.
void encode_tail(const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::uint8_t group[5] = {};
    std::memcpy(group, in, count);
    std::uint8_t characters[8];
    encode_group(group, characters);
    const unsigned used = TAIL_CHARACTERS[count];
    std::memcpy(out, characters, used);
    std::memset(out + used, '=', 8 - used);
}

}  // namespace

// Base32's parts of the shared driver (see group_codec.hpp).
struct Base32Scheme {
    static constexpr const std::array<std::uint8_t, 256>& DECODE_TABLE = BASE32_DECODE_TABLE;
    static constexpr const char* INVALID_PREFIX = "Invalid Base32 character: ";

    static CodecKernels kernels(VectorPath path) noexcept { return base32_kernels(path); }

    static void encode_plain(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
        const std::size_t groups = size / 5;
        const std::size_t rest = size % 5;
        for (std::size_t group = 0; group < groups; ++group, in += 5, out += 8) encode_group(in, out);
        if (rest != 0) encode_tail(in, rest, out);
    }

    // Eight characters at a time.
    static void decode_plain_groups(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t*& out,
                                    const std::uint8_t* out_end) noexcept {
        while (end - in >= 8 && out_end - out >= 5) {
            const std::uint32_t high = DECODE_HALF(in);
            const std::uint32_t low = DECODE_HALF(in + 4);
            if ((high | low) & NOT_PLAIN) break;
            // 40 bits: the first 32 in one big-endian store, then the last 8.
            std::uint32_t word = high << 12 | low >> 8;
            if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
            std::memcpy(out, &word, 4);
            out[4] = static_cast<std::uint8_t>(low);
            in += 8;
            out += 5;
        }
    }
};

// The codec, instantiated here, where the scheme's routines inline into it.
template class GroupCodec<5, Base32Scheme>;

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "encodings/trim.hpp"
#include "module/encoding_functions.hpp"

KORVALITH_ENCODING_SUBMODULE(base32, korvalith::Base32, korvalith::trim_for_decode);

#endif
