#include "ciphers/aes/engine.hpp"

#include <utility>

#include "ciphers/aes/block.hpp"
#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/encryption.hpp"
#include "common/cpu_features.hpp"

// A build with KORVALITH_AES_HARDWARE=0 (the CMake option switched off) runs
// every CPU on the bitsliced engine.
#ifndef KORVALITH_AES_HARDWARE
#define KORVALITH_AES_HARDWARE 1
#endif
#if KORVALITH_AES_HARDWARE && (defined(__x86_64__) || defined(__i386__))
#define KORVALITH_AES_INSTRUCTIONS 1
#define KORVALITH_ARM_AES_INSTRUCTIONS 0
#elif KORVALITH_AES_HARDWARE && KORVALITH_AARCH64
#define KORVALITH_AES_INSTRUCTIONS 0
#define KORVALITH_ARM_AES_INSTRUCTIONS 1
#else
#define KORVALITH_AES_INSTRUCTIONS 0
#define KORVALITH_ARM_AES_INSTRUCTIONS 0
#endif

namespace korvalith::aes {

std::string_view engine_name(Engine engine) noexcept {
    switch (engine) {
        case Engine::TableReference: return "table reference";
        case Engine::Bitsliced: return "bitsliced";
        case Engine::AesNi: return "AES-NI";
        case Engine::Vaes: return "VAES";
        case Engine::Vaes512: return "VAES-512";
        case Engine::ArmAes: return "ARMv8 AES";
    }
    return "unknown";
}

bool engine_supported(Engine engine, const cpu::Features& features) noexcept {
    switch (engine) {
        case Engine::TableReference:
        case Engine::Bitsliced: return true;
        case Engine::AesNi: return KORVALITH_AES_INSTRUCTIONS && features.aes;
        case Engine::Vaes: return KORVALITH_AES_INSTRUCTIONS && features.aes && features.vaes && features.avx2;
        case Engine::Vaes512: return KORVALITH_AES_INSTRUCTIONS && features.aes && features.vaes && features.avx512f;
        case Engine::ArmAes: return KORVALITH_ARM_AES_INSTRUCTIONS && features.aes && features.asimd;
    }
    return false;
}

Engine fastest_engine_for(const cpu::Features& features) noexcept {
    for (Engine engine : {Engine::Vaes512, Engine::Vaes, Engine::AesNi, Engine::ArmAes}) {
        if (engine_supported(engine, features)) return engine;
    }
    return Engine::Bitsliced;
}

Engine fastest_engine() noexcept {
    static const Engine fastest = fastest_engine_for(cpu::features());
    return fastest;
}

CoreResult<void> BlockCipher::set_key(Engine engine, ByteView key, bool decryption) {
    // An engine the CPU lacks is never run: its key goes to the bitsliced one.
    engine_ = engine_supported(engine) ? engine : Engine::Bitsliced;
    if (engine_ == Engine::TableReference) {
        auto schedule = expand_key(key);
        if (!schedule) return std::unexpected(std::move(schedule.error()));
        keys_.emplace<KeySchedule>(*schedule);
        return {};
    }
    if (auto rounds = rounds_for_key_length(key.size()); !rounds) return std::unexpected(std::move(rounds.error()));
    if (engine_ == Engine::Bitsliced) {
        // Encryption and decryption share the round keys.
        bitsliced::expand_key(key, keys_.emplace<bitsliced::Schedule>());
        return {};
    }
#if KORVALITH_AES_INSTRUCTIONS || KORVALITH_ARM_AES_INSTRUCTIONS
    auto& schedule = keys_.emplace<hardware::Schedule>();
    hardware::expand_key(key, schedule);
    if (decryption) hardware::prepare_decryption(schedule);
#else
    static_cast<void>(decryption);
#endif
    return {};
}

namespace {

// One direction's routines on each engine.
struct Transforms {
    void (*table_reference)(const KeySchedule&, BlockIn, BlockOut) noexcept;
    void (*bitsliced)(const bitsliced::Schedule&, const std::uint8_t*, std::uint8_t*, std::size_t) noexcept;
#if KORVALITH_AES_INSTRUCTIONS
    void (*aes_ni)(const hardware::Schedule&, const std::uint8_t*, std::uint8_t*, std::size_t) noexcept;
    void (*vaes)(const hardware::Schedule&, const std::uint8_t*, std::uint8_t*, std::size_t) noexcept;
    void (*vaes512)(const hardware::Schedule&, const std::uint8_t*, std::uint8_t*, std::size_t) noexcept;
#elif KORVALITH_ARM_AES_INSTRUCTIONS
    void (*arm_aes)(const hardware::Schedule&, const std::uint8_t*, std::uint8_t*, std::size_t) noexcept;
#endif
};

#if KORVALITH_AES_INSTRUCTIONS
constexpr Transforms ENCRYPTION{encrypt_block, bitsliced::encrypt_blocks, hardware::encrypt_blocks,
                                hardware::encrypt_blocks_wide, hardware::encrypt_blocks_wide512};
constexpr Transforms DECRYPTION{decrypt_block, bitsliced::decrypt_blocks, hardware::decrypt_blocks,
                                hardware::decrypt_blocks_wide, hardware::decrypt_blocks_wide512};
#elif KORVALITH_ARM_AES_INSTRUCTIONS
constexpr Transforms ENCRYPTION{encrypt_block, bitsliced::encrypt_blocks, hardware::encrypt_blocks};
constexpr Transforms DECRYPTION{decrypt_block, bitsliced::decrypt_blocks, hardware::decrypt_blocks};
#else
constexpr Transforms ENCRYPTION{encrypt_block, bitsliced::encrypt_blocks};
constexpr Transforms DECRYPTION{decrypt_block, bitsliced::decrypt_blocks};
#endif

// Runs `blocks` blocks through one direction's routine on the engine that
// the keys were expanded for.
template <const Transforms& Direction, typename Keys>
void run_blocks(Engine engine, const Keys& keys, const std::uint8_t* in, std::uint8_t* out,
                std::size_t blocks) noexcept {
    switch (engine) {
        case Engine::Bitsliced: return Direction.bitsliced(*std::get_if<bitsliced::Schedule>(&keys), in, out, blocks);
#if KORVALITH_AES_INSTRUCTIONS
        case Engine::AesNi: return Direction.aes_ni(*std::get_if<hardware::Schedule>(&keys), in, out, blocks);
        case Engine::Vaes: return Direction.vaes(*std::get_if<hardware::Schedule>(&keys), in, out, blocks);
        case Engine::Vaes512: return Direction.vaes512(*std::get_if<hardware::Schedule>(&keys), in, out, blocks);
#elif KORVALITH_ARM_AES_INSTRUCTIONS
        case Engine::ArmAes: return Direction.arm_aes(*std::get_if<hardware::Schedule>(&keys), in, out, blocks);
#endif
        default: {
            const KeySchedule& schedule = *std::get_if<KeySchedule>(&keys);
            for (std::size_t offset = 0; offset < BLOCK_SIZE * blocks; offset += BLOCK_SIZE) {
                Direction.table_reference(schedule, BlockIn(in + offset, BLOCK_SIZE),
                                          BlockOut(out + offset, BLOCK_SIZE));
            }
        }
    }
}

}  // namespace

void BlockCipher::encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
    run_blocks<ENCRYPTION>(engine_, keys_, in, out, blocks);
}

void BlockCipher::decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
    run_blocks<DECRYPTION>(engine_, keys_, in, out, blocks);
}

}  // namespace korvalith::aes
