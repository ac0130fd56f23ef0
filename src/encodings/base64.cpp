#include "encodings/base64.hpp"

#include <bit>
#include <cstring>

#include "encodings/group_tables.hpp"

namespace korvalith {

namespace {

// The characters of twelve bits at a time: one lookup writes half a group.
constexpr CharacterPairs<6> PAIRS(BASE64_ALPHABET);

// The 24 bits of a group of four characters.
constexpr FourCharacterDecoder<6> DECODE_GROUP(BASE64_DECODE_TABLE);
constexpr std::uint32_t NOT_PLAIN = FourCharacterDecoder<6>::NOT_PLAIN;

inline void write_triple(std::uint8_t* out, std::uint32_t bits) {
    out[0] = static_cast<std::uint8_t>(bits >> 16);
    out[1] = static_cast<std::uint8_t>(bits >> 8);
    out[2] = static_cast<std::uint8_t>(bits);
}

// As write_triple, in one store that also writes a fourth byte of no value.
inline void write_triple_and_spare(std::uint8_t* out, std::uint32_t bits) {
    std::uint32_t word = bits << 8;
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
    std::memcpy(out, &word, 4);
}

// Groups of plain characters while the output has `Room` bytes for the
// writes of `Write`.
template <std::ptrdiff_t Room, void (*Write)(std::uint8_t*, std::uint32_t)>
inline void decode_groups_with(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t*& out,
                               const std::uint8_t* out_end) {
    while (end - in >= 4 && out_end - out >= Room) {
        const std::uint32_t bits = DECODE_GROUP(in);
        if (bits & NOT_PLAIN) break;
        Write(out, bits);
        in += 4;
        out += 3;
    }
}

// Four characters of the 24 bits b0 b1 b2.
inline void encode_group(const std::uint8_t* in, std::uint8_t* out) {
    const std::uint32_t bits = static_cast<std::uint32_t>(in[0]) << 16 | static_cast<std::uint32_t>(in[1]) << 8 | in[2];
    PAIRS.write(out, bits >> 12);
    PAIRS.write(out + 2, bits & 0xFFF);
}

}  // namespace

// Base64's parts of the shared driver (see group_codec.hpp).
struct Base64Scheme {
    static constexpr const std::array<std::uint8_t, 256>& DECODE_TABLE = BASE64_DECODE_TABLE;
    static constexpr const char* INVALID_PREFIX = "Invalid base64 character: ";

    static CodecKernels kernels(VectorPath path) noexcept { return base64_kernels(path); }

    // Four groups at a time while there are as many. Inlined into the
    // driver's one call, which the compiler would not do unasked for a
    // routine this long.
    [[gnu::always_inline]] static void encode_plain(const std::uint8_t* in, std::size_t size,
                                                    std::uint8_t* out) noexcept {
        const std::size_t groups = size / 3;
        const std::size_t rest = size % 3;
        std::size_t group = 0;
        for (; group + 4 <= groups; group += 4, in += 12, out += 16) {
            encode_group(in, out);
            encode_group(in + 3, out + 4);
            encode_group(in + 6, out + 8);
            encode_group(in + 9, out + 12);
        }
        for (; group < groups; ++group, in += 3, out += 4) encode_group(in, out);

        if (rest == 1) {
            PAIRS.write(out, static_cast<std::uint32_t>(in[0]) << 4);
            out[2] = '=';
            out[3] = '=';
        } else if (rest == 2) {
            const std::uint32_t bits = static_cast<std::uint32_t>(in[0]) << 10 | static_cast<std::uint32_t>(in[1]) << 2;
            PAIRS.write(out, bits >> 6);
            out[2] = static_cast<std::uint8_t>(BASE64_ALPHABET[bits & 63]);
            out[3] = '=';
        }
    }

    // Four characters at a time; while the output has room for it, a group
    // also writes one spare byte.
    static void decode_plain_groups(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t*& out,
                                    const std::uint8_t* out_end) noexcept {
        decode_groups_with<4, write_triple_and_spare>(in, end, out, out_end);
        decode_groups_with<3, write_triple>(in, end, out, out_end);
    }
};

// The codec, instantiated here, where the scheme's routines inline into it.
template class GroupCodec<6, Base64Scheme>;

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "encodings/trim.hpp"
#include "module/encoding_functions.hpp"

KORVALITH_ENCODING_SUBMODULE(base64, korvalith::Base64, korvalith::trim_for_decode);

#endif
