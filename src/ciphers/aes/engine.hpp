// The ways of running AES over many blocks, and the one this CPU uses.
//
// Bitsliced: constant-time AES without the AES instructions, for every CPU
// (bitsliced/). AesNi: the x86 AES instructions on 128-bit registers. Vaes:
// the same instructions on 256-bit registers (VAES with AVX2), two blocks
// per register; Vaes512: on 512-bit registers (VAES with AVX-512F), four.
// ArmAes: the ARMv8 Cryptography Extensions of aarch64 on 128-bit
// registers. All give the same bytes; the fastest one that the CPU has is
// chosen once. TableReference: the byte-oriented routines of key_expansion,
// encryption and decryption, which look tables up by key and data bytes. It
// is the reference the others are tested against and is never chosen: only
// a caller that names it (the tests, the fuzzers, the benchmarks) runs it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "ciphers/aes/bitsliced/bitsliced.hpp"
#include "ciphers/aes/hardware.hpp"
#include "ciphers/aes/key_expansion.hpp"
#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"
#include "common/cpu_features.hpp"

namespace korvalith::aes {

enum class Engine { TableReference, Bitsliced, AesNi, Vaes, Vaes512, ArmAes };

inline constexpr std::array<Engine, 6> ENGINES = {Engine::TableReference, Engine::Bitsliced, Engine::AesNi,
                                                  Engine::Vaes,           Engine::Vaes512,   Engine::ArmAes};

std::string_view engine_name(Engine engine) noexcept;

// True when this build includes the engine and a CPU with `features` has
// what it needs (by default, this CPU). The table reference and the
// bitsliced engine are always supported; the others only when the build
// allows the hardware path (the CMake option KORVALITH_AES_HARDWARE) and is
// for their architecture.
bool engine_supported(Engine engine, const cpu::Features& features = cpu::features()) noexcept;

// The fastest engine supported with `features`: VAES on 512-bit registers,
// VAES on 256-bit ones, AES-NI, the ARMv8 instructions or, without any AES
// instructions, bitsliced.
Engine fastest_engine_for(const cpu::Features& features) noexcept;

// The fastest engine on this CPU, decided on first use and constant afterwards.
Engine fastest_engine() noexcept;

// One key, expanded for one engine, and the block transforms under it. The
// round keys are wiped when it goes out of scope.
class BlockCipher {
public:
    BlockCipher() noexcept = default;
    BlockCipher(const BlockCipher&) = delete;
    BlockCipher& operator=(const BlockCipher&) = delete;

    // Checks the key length ("Invalid key length: N") and expands the key
    // for `engine`; an engine that is not supported here is replaced by the
    // bitsliced one. With `decryption` the engine also prepares the round
    // keys it decrypts with.
    CoreResult<void> set_key(Engine engine, ByteView key, bool decryption);

    // Transform `blocks` consecutive 16-byte blocks from `in` to `out` (the
    // same memory, or not overlapping). decrypt needs a key set for decryption.
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept;
    void decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept;

private:
    Engine engine_ = Engine::Bitsliced;
    std::variant<std::monostate, KeySchedule, bitsliced::Schedule, hardware::Schedule> keys_;
};

}  // namespace korvalith::aes
