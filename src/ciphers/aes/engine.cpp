#include "ciphers/aes/engine.hpp"

#include <utility>

#include "ciphers/aes/block.hpp"
#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/encryption.hpp"
#include "common/cpu_features.hpp"

// A build with KORVALITH_AES_HARDWARE=0 (the CMake option switched off) runs
// every CPU on the portable engine.
#ifndef KORVALITH_AES_HARDWARE
#define KORVALITH_AES_HARDWARE 1
#endif
#if KORVALITH_AES_HARDWARE && (defined(__x86_64__) || defined(__i386__))
#define KORVALITH_AES_INSTRUCTIONS 1
#else
#define KORVALITH_AES_INSTRUCTIONS 0
#endif

namespace korvalith::aes {

std::string_view engine_name(Engine engine) noexcept {
    switch (engine) {
        case Engine::Portable: return "portable";
        case Engine::AesNi: return "AES-NI";
        case Engine::Vaes: return "VAES";
    }
    return "unknown";
}

bool engine_supported(Engine engine) noexcept {
    if (engine == Engine::Portable) return true;
#if KORVALITH_AES_INSTRUCTIONS
    const cpu::Features& cpu = cpu::features();
    if (engine == Engine::AesNi) return cpu.aes;
    if (engine == Engine::Vaes) return cpu.aes && cpu.vaes && cpu.avx2;
#endif
    return false;
}

Engine fastest_engine() noexcept {
    static const Engine fastest = engine_supported(Engine::Vaes)    ? Engine::Vaes
                                  : engine_supported(Engine::AesNi) ? Engine::AesNi
                                                                    : Engine::Portable;
    return fastest;
}

CoreResult<void> BlockCipher::set_key(Engine engine, ByteView key, bool decryption) {
    // An engine the CPU lacks is never run: its key would go to the portable one.
    engine_ = engine_supported(engine) ? engine : Engine::Portable;
    if (engine_ == Engine::Portable) {
        auto schedule = expand_key(key);
        if (!schedule) return std::unexpected(std::move(schedule.error()));
        keys_.emplace<KeySchedule>(*schedule);
        return {};
    }
    if (auto rounds = rounds_for_key_length(key.size()); !rounds) return std::unexpected(std::move(rounds.error()));
#if KORVALITH_AES_INSTRUCTIONS
    auto& schedule = keys_.emplace<hardware::Schedule>();
    hardware::expand_key(key, schedule);
    if (decryption) hardware::prepare_decryption(schedule);
#else
    static_cast<void>(decryption);
#endif
    return {};
}

void BlockCipher::encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
    switch (engine_) {
#if KORVALITH_AES_INSTRUCTIONS
        case Engine::AesNi: return hardware::encrypt_blocks(*std::get_if<hardware::Schedule>(&keys_), in, out, blocks);
        case Engine::Vaes:
            return hardware::encrypt_blocks_wide(*std::get_if<hardware::Schedule>(&keys_), in, out, blocks);
#endif
        default: {
            const KeySchedule& schedule = *std::get_if<KeySchedule>(&keys_);
            for (std::size_t offset = 0; offset < BLOCK_SIZE * blocks; offset += BLOCK_SIZE) {
                encrypt_block(schedule, BlockIn(in + offset, BLOCK_SIZE), BlockOut(out + offset, BLOCK_SIZE));
            }
        }
    }
}

void BlockCipher::decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
    switch (engine_) {
#if KORVALITH_AES_INSTRUCTIONS
        case Engine::AesNi: return hardware::decrypt_blocks(*std::get_if<hardware::Schedule>(&keys_), in, out, blocks);
        case Engine::Vaes:
            return hardware::decrypt_blocks_wide(*std::get_if<hardware::Schedule>(&keys_), in, out, blocks);
#endif
        default: {
            const KeySchedule& schedule = *std::get_if<KeySchedule>(&keys_);
            for (std::size_t offset = 0; offset < BLOCK_SIZE * blocks; offset += BLOCK_SIZE) {
                decrypt_block(schedule, BlockIn(in + offset, BLOCK_SIZE), BlockOut(out + offset, BLOCK_SIZE));
            }
        }
    }
}

}  // namespace korvalith::aes
