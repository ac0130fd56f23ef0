// AES with the processor's AES instructions: the key schedule built with the
// instructions and the block transforms run by the round instructions,
// several blocks at a time. No memory address depends on the key or the
// data. On x86 (hardware.cpp, and hardware_wide512.cpp for 512-bit
// registers) for CPUs with AES-NI, and on aarch64 (hardware_aarch64.cpp) for
// CPUs with the ARMv8 Cryptography Extensions; engine.hpp decides which
// runs. The functions are compiled for the instructions one by one, so the
// module still loads on CPUs without them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ciphers/aes/key_expansion.hpp"
#include "common/byte_buffer.hpp"
#include "common/cpu_features.hpp"
#include "common/secure_wipe.hpp"

namespace korvalith::aes::hardware {

using RoundKeyBytes = std::array<std::uint8_t, 16>;

// Round keys in the form the instructions take. `encryption` holds the same
// bytes as the round keys of expand_key. The instructions decrypt with the
// equivalent inverse cipher, whose round keys (`decryption`) are those keys
// in reverse order, all but the first and last passed through
// InvMixColumns; they are derived only for decryption. Wiped when it goes
// out of scope.
struct Schedule {
    std::size_t rounds = 0;  // Nr: 10, 12 or 14
    alignas(16) std::array<RoundKeyBytes, MAX_ROUNDS + 1> encryption;
    alignas(16) std::array<RoundKeyBytes, MAX_ROUNDS + 1> decryption;

    Schedule() noexcept {}
    Schedule(const Schedule&) = delete;
    Schedule& operator=(const Schedule&) = delete;
    ~Schedule() {
        secure_wipe(encryption.data(), sizeof encryption);
        secure_wipe(decryption.data(), sizeof decryption);
    }
};

#if defined(__x86_64__) || defined(__i386__) || KORVALITH_AARCH64

// Fills `schedule` with the encryption round keys of a 16-, 24- or 32-byte
// key (the caller has checked the length). Needs the AES instructions.
void expand_key(ByteView key, Schedule& schedule) noexcept;

// Derives the decryption round keys of an expanded schedule.
void prepare_decryption(Schedule& schedule) noexcept;

// Encrypt or decrypt `blocks` consecutive 16-byte blocks from `in` to `out`
// (the same memory, or not overlapping), on 128-bit registers: AES-NI on
// x86, the Cryptography Extensions on aarch64.
void encrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept;
void decrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept;

#endif

#if defined(__x86_64__) || defined(__i386__)

// The same on wider registers, several blocks per register: on 256-bit ones
// (VAES with AVX2), two blocks per register; on 512-bit ones (VAES with
// AVX-512F, hardware_wide512.cpp), four.
void encrypt_blocks_wide(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept;
void decrypt_blocks_wide(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept;
void encrypt_blocks_wide512(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                            std::size_t blocks) noexcept;
void decrypt_blocks_wide512(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                            std::size_t blocks) noexcept;

#endif

}  // namespace korvalith::aes::hardware
