// The VAES engine on 512-bit registers, run on CPUs without AVX-512: its
// source, src/ciphers/aes/hardware_wide512.cpp, compiled here against
// stand-ins for the 512-bit intrinsics it uses, each built from the 128-bit
// AES-NI instructions by the documented meaning of the real one (lane i of
// a register is bytes 16i to 16i + 15 in memory, the AES instructions work
// on each lane alone, a broadcast copies one lane to all four, mask bit i
// selects the 64-bit element at bytes 8i to 8i + 7, and a masked load reads
// and a masked store writes nothing else). Held to the reference routines,
// this checks what the engine's own code does: its groups and tails, loads
// and stores, masks, key broadcasts and rounds. What it cannot check is the
// real instructions; test_aes_engines runs those where the CPU has them.
#include <gtest/gtest.h>

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstring>

namespace korvalith::aes::hardware::emulated {

struct Zmm {
    __m128i lane[4];
};

#define KORVALITH_EMULATED [[gnu::target("aes,sse2"), gnu::always_inline]] inline

KORVALITH_EMULATED Zmm broadcast(__m128i value) { return {{value, value, value, value}}; }

template <__m128i (*Instruction)(__m128i, __m128i)>
KORVALITH_EMULATED Zmm each_lane(Zmm a, Zmm b) {
    Zmm result;
    for (int i = 0; i < 4; ++i) result.lane[i] = Instruction(a.lane[i], b.lane[i]);
    return result;
}

[[gnu::target("aes,sse2")]] inline __m128i xor128(__m128i a, __m128i b) { return _mm_xor_si128(a, b); }
[[gnu::target("aes,sse2")]] inline __m128i enc(__m128i a, __m128i b) { return _mm_aesenc_si128(a, b); }
[[gnu::target("aes,sse2")]] inline __m128i enclast(__m128i a, __m128i b) { return _mm_aesenclast_si128(a, b); }
[[gnu::target("aes,sse2")]] inline __m128i dec(__m128i a, __m128i b) { return _mm_aesdec_si128(a, b); }
[[gnu::target("aes,sse2")]] inline __m128i declast(__m128i a, __m128i b) { return _mm_aesdeclast_si128(a, b); }

KORVALITH_EMULATED Zmm loadu(const void* address) {
    Zmm result;
    std::memcpy(result.lane, address, 64);
    return result;
}

KORVALITH_EMULATED void storeu(void* address, Zmm value) { std::memcpy(address, value.lane, 64); }

KORVALITH_EMULATED Zmm maskz_loadu_epi64(__mmask8 mask, const void* address) {
    unsigned char bytes[64] = {};
    for (int i = 0; i < 8; ++i) {
        if ((mask >> i & 1) != 0) std::memcpy(bytes + 8 * i, static_cast<const unsigned char*>(address) + 8 * i, 8);
    }
    return loadu(bytes);
}

KORVALITH_EMULATED void mask_storeu_epi64(void* address, __mmask8 mask, Zmm value) {
    unsigned char bytes[64];
    storeu(bytes, value);
    for (int i = 0; i < 8; ++i) {
        if ((mask >> i & 1) != 0) std::memcpy(static_cast<unsigned char*>(address) + 8 * i, bytes + 8 * i, 8);
    }
}

}  // namespace korvalith::aes::hardware::emulated

// The engine's source with the stand-ins, for the CPU's 128-bit AES
// instructions, and its two entries renamed so that they do not clash with
// the real ones in the core library.
#define KORVALITH_VAES512_TARGET [[gnu::target("aes,sse2")]]
#define KORVALITH_VAES512_INLINE [[gnu::target("aes,sse2"), gnu::always_inline]] inline
#define __m512i emulated::Zmm
#define _mm512_broadcast_i32x4 emulated::broadcast
#define _mm512_xor_si512 emulated::each_lane<emulated::xor128>
#define _mm512_aesenc_epi128 emulated::each_lane<emulated::enc>
#define _mm512_aesenclast_epi128 emulated::each_lane<emulated::enclast>
#define _mm512_aesdec_epi128 emulated::each_lane<emulated::dec>
#define _mm512_aesdeclast_epi128 emulated::each_lane<emulated::declast>
#define _mm512_loadu_si512 emulated::loadu
#define _mm512_storeu_si512 emulated::storeu
#define _mm512_maskz_loadu_epi64 emulated::maskz_loadu_epi64
#define _mm512_mask_storeu_epi64 emulated::mask_storeu_epi64
#define encrypt_blocks_wide512 emulated_encrypt_blocks_wide512
#define decrypt_blocks_wide512 emulated_decrypt_blocks_wide512
#include "ciphers/aes/hardware_wide512.cpp"
#undef __m512i

#include <random>
#include <vector>

#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/encryption.hpp"
#include "ciphers/aes/engine.hpp"

namespace {

using namespace korvalith;
using namespace korvalith::aes;
using Bytes = std::vector<std::uint8_t>;

Bytes reference_blocks(const Bytes& key, const Bytes& data, bool decrypt) {
    Bytes out;
    for (std::size_t offset = 0; offset < data.size(); offset += 16) {
        const ByteView block(data.data() + offset, 16);
        auto result = decrypt ? decrypt_block(block, key) : encrypt_block(block, key);
        EXPECT_TRUE(result.has_value());
        out.insert(out.end(), result->begin(), result->end());
    }
    return out;
}

// Every block count up to three times the group of 32 blocks and some longer
// runs, in place as well, between guard bytes that must stay untouched.
TEST(AesWide512Emulated, BlocksMatchTheReferenceRoutines) {
    if (!engine_supported(Engine::AesNi)) GTEST_SKIP() << "the stand-ins need the CPU's AES instructions";
    std::mt19937 random(512);
    constexpr std::size_t GUARD = 64;
    for (std::size_t key_length : {16, 24, 32}) {
        Bytes key(key_length);
        for (auto& byte : key) byte = static_cast<std::uint8_t>(random());
        hardware::Schedule schedule;
        hardware::expand_key(key, schedule);
        hardware::prepare_decryption(schedule);
        for (std::size_t blocks = 0; blocks <= 140; blocks += blocks < 100 ? 1 : 20) {
            SCOPED_TRACE(testing::Message() << key_length << "-byte key, " << blocks << " blocks");
            Bytes data(16 * blocks);
            for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
            for (bool decrypt : {false, true}) {
                Bytes out(GUARD + data.size() + GUARD, 0xA5);
                (decrypt ? hardware::emulated_decrypt_blocks_wide512 : hardware::emulated_encrypt_blocks_wide512)(
                    schedule, data.data(), out.data() + GUARD, blocks);
                ASSERT_EQ(Bytes(out.begin() + GUARD, out.end() - GUARD), reference_blocks(key, data, decrypt));
                ASSERT_EQ(Bytes(out.begin(), out.begin() + GUARD), Bytes(GUARD, 0xA5));
                ASSERT_EQ(Bytes(out.end() - GUARD, out.end()), Bytes(GUARD, 0xA5));

                Bytes in_place = data;
                (decrypt ? hardware::emulated_decrypt_blocks_wide512 : hardware::emulated_encrypt_blocks_wide512)(
                    schedule, in_place.data(), in_place.data(), blocks);
                ASSERT_EQ(in_place, reference_blocks(key, data, decrypt));
            }
        }
    }
}

}  // namespace

#else

TEST(AesWide512Emulated, BlocksMatchTheReferenceRoutines) { GTEST_SKIP() << "the 512-bit engine is for x86 CPUs"; }

#endif
