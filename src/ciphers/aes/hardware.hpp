// AES with the processor's AES instructions: the key schedule built with the
// key-generation instruction and the block transforms run by the round
// instructions, several blocks at a time. No memory address depends on the
// key or the data. Only for x86 CPUs that have the instructions (see
// engine.hpp, which decides); the functions are compiled for them one by one,
// so the module still loads on CPUs without them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ciphers/aes/key_expansion.hpp"
#include "common/byte_buffer.hpp"
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

#if defined(__x86_64__) || defined(__i386__)

// Fills `schedule` with the encryption round keys of a 16-, 24- or 32-byte
// key (the caller has checked the length). Needs the AES instructions.
void expand_key(ByteView key, Schedule& schedule) noexcept;

// Derives the decryption round keys of an expanded schedule.
void prepare_decryption(Schedule& schedule) noexcept;

// Encrypt or decrypt `blocks` consecutive 16-byte blocks from `in` to `out`
// (the same memory, or not overlapping). The first two use 128-bit
// registers and need the AES instructions; the wide ones use the AES
// instructions on 256-bit registers (VAES with AVX2), two blocks per
// register.
void encrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept;
void decrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept;
void encrypt_blocks_wide(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept;
void decrypt_blocks_wide(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept;

#endif

}  // namespace korvalith::aes::hardware
