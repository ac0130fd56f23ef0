// Bitsliced AES: constant-time AES without the AES instructions, for every
// CPU. Blocks go through the rounds a group at a time as bit planes
// (slices.hpp), and the S-box is a Boolean circuit (sbox_circuit.hpp), so no
// memory address and no branch depends on the key or the data, and the time
// taken depends only on the number of blocks and the key length. The key
// schedule is built the same way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ciphers/aes/bitsliced/slices.hpp"
#include "ciphers/aes/key_expansion.hpp"
#include "common/byte_buffer.hpp"
#include "common/secure_wipe.hpp"

namespace korvalith::aes::bitsliced {

// The round keys as states: each in the layout of slices.hpp, with the same
// round key in every block of the group. Encryption and decryption use the
// same keys (the plain inverse cipher). Wiped when it goes out of scope.
struct Schedule {
    std::size_t rounds = 0;  // Nr: 10, 12 or 14
    std::array<State, MAX_ROUNDS + 1> round_keys;

    Schedule() noexcept {}
    Schedule(const Schedule&) = delete;
    Schedule& operator=(const Schedule&) = delete;
    ~Schedule() { secure_wipe(round_keys.data(), sizeof round_keys); }
};

// SubWord of the key schedule: the S-box on each byte of the word, by the circuit.
std::uint32_t sub_word(std::uint32_t word) noexcept;

// Fills `schedule` from a 16-, 24- or 32-byte key (the caller has checked
// the length). The round keys are those of expand_key in key_expansion.hpp.
void expand_key(ByteView key, Schedule& schedule) noexcept;

// Encrypt or decrypt `blocks` consecutive 16-byte blocks from `in` to `out`
// (the same memory, or not overlapping), a group of BLOCKS at a time, or two
// groups at a time in 128-bit registers where the target has them (8 blocks
// on x86-64 and aarch64); a last, partial group runs through a zero-padded
// copy, which is wiped.
void encrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept;
void decrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept;

}  // namespace korvalith::aes::bitsliced
