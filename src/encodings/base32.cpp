#include "encodings/base32.hpp"

#include <bit>
#include <cstring>

#include "encodings/base32_vector.hpp"
#include "encodings/group_codec.hpp"
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

// Base32's parts of the shared driver (see group_codec.hpp).
struct Base32Scheme {
    static constexpr unsigned BITS = 5;
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

using Base32 = GroupCodec<Base32Scheme>;
static_assert(Base32::GROUP_BYTES == BASE32_GROUP_BYTES && Base32::GROUP_CHARACTERS == BASE32_GROUP_CHARACTERS);

}  // namespace

std::optional<std::size_t> base32_encoded_size(std::size_t size) noexcept { return Base32::encoded_size(size); }

void base32_encode_into(ByteView data, std::span<std::uint8_t> out) noexcept { Base32::encode_into(data, out); }

void base32_encode_into(ByteView data, std::span<std::uint8_t> out, VectorPath path) noexcept {
    Base32::encode_into(data, out, path);
}

std::size_t base32_decoded_size(ByteView text) noexcept { return Base32::decoded_size(text); }

CoreResult<void> base32_decode_into(ByteView text, std::span<std::uint8_t> out) {
    return Base32::decode_into(text, out);
}

CoreResult<void> base32_decode_into(ByteView text, std::span<std::uint8_t> out, VectorPath path) {
    return Base32::decode_into(text, out, path);
}

CoreResult<ByteBuffer> base32_encode(ByteView data) { return Base32::encode(data); }

CoreResult<ByteBuffer> base32_decode(ByteView text) { return Base32::decode(text); }

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "encodings/trim.hpp"
#include "module/encoding_functions.hpp"
#include "module/submodules.hpp"

namespace korvalith::py {

namespace {

struct Base32Cores {
    static constexpr std::size_t GROUP_LENGTH = 8;
    static ByteView trim(ByteView text) { return trim_for_decode(text); }
    static CoreResult<ByteBuffer> encode(ByteView data) { return base32_encode(data); }
    static std::optional<std::size_t> encoded_size(std::size_t size) { return base32_encoded_size(size); }
    static void encode_into(ByteView data, std::span<std::uint8_t> out) { base32_encode_into(data, out); }
    static CoreResult<ByteBuffer> decode(ByteView text) { return base32_decode(text); }
    static std::size_t decoded_size(ByteView text) { return base32_decoded_size(text); }
    static CoreResult<void> decode_into(ByteView text, std::span<std::uint8_t> out) {
        return base32_decode_into(text, out);
    }
};

using Functions = EncodingFunctions<Base32Cores>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(base32, Functions::Encode, Functions::Decode, Functions::EncodeBytes,
                          Functions::DecodeBytes);

#endif
