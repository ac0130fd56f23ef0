// AES core routines: the reference key expansion and single blocks, and for
// every engine (the table reference, bitsliced, AES-NI, VAES, VAES-512,
// ARMv8 AES; each row is labelled with its engine, and one the CPU lacks is
// skipped) the key set-up, the block transforms over 16 KiB and 1 MiB and
// ECB over 1 MiB for each key size, and a 16-byte ECB call, in cycles per
// byte (cycles_per_byte.hpp says how they are counted). The table reference runs in the same program so that the
// bitsliced engine, which replaced it, is compared with it side by side.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/ecb.hpp"
#include "ciphers/aes/encryption.hpp"
#include "ciphers/aes/engine.hpp"
#include "ciphers/aes/key_expansion.hpp"
#include "cycles_per_byte.hpp"

namespace {

using namespace korvalith;
using korvalith::bench::run_counting_cycles;

std::vector<std::uint8_t> pattern(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 8));
    return bytes;
}

// The engine of argument `index`, or false after marking the row skipped.
bool select_engine(benchmark::State& state, std::size_t index, aes::Engine& engine) {
    engine = aes::ENGINES[static_cast<std::size_t>(state.range(static_cast<int>(index)))];
    state.SetLabel(std::string(aes::engine_name(engine)));
    if (aes::engine_supported(engine)) return true;
    state.SkipWithError((std::string(aes::engine_name(engine)) + " is not supported here").c_str());
    return false;
}

// The indices of every engine in aes::ENGINES.
std::vector<std::int64_t> engine_indices() {
    std::vector<std::int64_t> indices(aes::ENGINES.size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::int64_t>(i);
    return indices;
}

void engine_and_key_arguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"engine", "key"});
    benchmark->ArgsProduct({engine_indices(), {16, 24, 32}});
}

void BM_ExpandKey(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    for (auto _ : state) benchmark::DoNotOptimize(aes::expand_key(key));
}
BENCHMARK(BM_ExpandKey)->Arg(16)->Arg(24)->Arg(32);

void BM_EncryptBlockRawKey(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    const auto block = pattern(16, 3);
    run_counting_cycles(state, 16, [&] { benchmark::DoNotOptimize(aes::encrypt_block(block, key)); });
}
BENCHMARK(BM_EncryptBlockRawKey)->Arg(16)->Arg(24)->Arg(32);

void BM_DecryptBlockRawKey(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    const auto block = pattern(16, 3);
    run_counting_cycles(state, 16, [&] { benchmark::DoNotOptimize(aes::decrypt_block(block, key)); });
}
BENCHMARK(BM_DecryptBlockRawKey)->Arg(16)->Arg(24)->Arg(32);

// Setting the key for encryption and decryption with each engine.
void BM_SetKey(benchmark::State& state) {
    aes::Engine engine;
    if (!select_engine(state, 0, engine)) return;
    const auto key = pattern(static_cast<std::size_t>(state.range(1)), 7);
    const bool decryption = state.range(2) != 0;
    for (auto _ : state) {
        aes::BlockCipher cipher;
        benchmark::DoNotOptimize(cipher.set_key(engine, key, decryption));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SetKey)->ArgNames({"engine", "key", "decryption"})->ArgsProduct({engine_indices(), {16, 24, 32}, {0, 1}});

constexpr std::size_t MIB = 1 << 20;

// The block transforms alone over `bytes`, between buffers allocated once:
// 16 KiB stays in the first-level cache and shows the engine's own speed,
// 1 MiB adds the memory traffic of a large call.
void transform(benchmark::State& state, std::size_t bytes, bool decrypt) {
    aes::Engine engine;
    if (!select_engine(state, 0, engine)) return;
    const auto key = pattern(static_cast<std::size_t>(state.range(1)), 7);
    const auto in = pattern(bytes, 3);
    std::vector<std::uint8_t> out(bytes);
    aes::BlockCipher cipher;
    if (!cipher.set_key(engine, key, decrypt)) std::abort();
    run_counting_cycles(state, bytes, [&] {
        if (decrypt) {
            cipher.decrypt(in.data(), out.data(), bytes / 16);
        } else {
            cipher.encrypt(in.data(), out.data(), bytes / 16);
        }
        benchmark::ClobberMemory();
    });
}

constexpr std::size_t KIB16 = 16 << 10;

void BM_EncryptBlocks16KiB(benchmark::State& state) { transform(state, KIB16, false); }
BENCHMARK(BM_EncryptBlocks16KiB)->Apply(engine_and_key_arguments);

void BM_DecryptBlocks16KiB(benchmark::State& state) { transform(state, KIB16, true); }
BENCHMARK(BM_DecryptBlocks16KiB)->Apply(engine_and_key_arguments);

void BM_EncryptBlocks1MiB(benchmark::State& state) { transform(state, MIB, false); }
BENCHMARK(BM_EncryptBlocks1MiB)->Apply(engine_and_key_arguments)->Unit(benchmark::kMicrosecond);

void BM_DecryptBlocks1MiB(benchmark::State& state) { transform(state, MIB, true); }
BENCHMARK(BM_DecryptBlocks1MiB)->Apply(engine_and_key_arguments)->Unit(benchmark::kMicrosecond);

// ECB over 1 MiB into a buffer of the result's length, allocated for each
// call as the Python function allocates its result (on the 32-bit target the
// C library maps fresh pages for each such allocation, which then dominates).
void BM_EncryptEcb1MiB(benchmark::State& state) {
    aes::Engine engine;
    if (!select_engine(state, 0, engine)) return;
    const auto key = pattern(static_cast<std::size_t>(state.range(1)), 7);
    const auto text = pattern(MIB, 3);
    run_counting_cycles(state, MIB, [&] { benchmark::DoNotOptimize(aes::encrypt_ecb(text, key, "pkcs", engine)); });
}
BENCHMARK(BM_EncryptEcb1MiB)->Apply(engine_and_key_arguments)->Unit(benchmark::kMicrosecond);

void BM_DecryptEcb1MiB(benchmark::State& state) {
    aes::Engine engine;
    if (!select_engine(state, 0, engine)) return;
    const auto key = pattern(static_cast<std::size_t>(state.range(1)), 7);
    auto encrypted = aes::encrypt_ecb(pattern(MIB, 3), key, "pkcs", aes::Engine::TableReference);
    if (!encrypted) std::abort();
    const std::vector<std::uint8_t> ciphertext(encrypted->view().begin(), encrypted->view().end());
    run_counting_cycles(state, MIB,
                        [&] { benchmark::DoNotOptimize(aes::decrypt_ecb(ciphertext, key, "pkcs", engine)); });
}
BENCHMARK(BM_DecryptEcb1MiB)->Apply(engine_and_key_arguments)->Unit(benchmark::kMicrosecond);

// The core of a 16-byte call: key set-up, padding, two blocks.
void BM_EncryptEcb16Bytes(benchmark::State& state) {
    aes::Engine engine;
    if (!select_engine(state, 0, engine)) return;
    const auto key = pattern(static_cast<std::size_t>(state.range(1)), 7);
    const auto text = pattern(16, 3);
    run_counting_cycles(state, 16, [&] { benchmark::DoNotOptimize(aes::encrypt_ecb(text, key, "pkcs", engine)); });
}
BENCHMARK(BM_EncryptEcb16Bytes)->Apply(engine_and_key_arguments);

}  // namespace
