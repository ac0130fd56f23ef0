// AES core routines: key expansion, one block with a raw key and with an
// expanded schedule, and ECB over 1 MiB for each key size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/ecb.hpp"
#include "ciphers/aes/encryption.hpp"
#include "ciphers/aes/key_expansion.hpp"

namespace {

using namespace korvalith;

std::vector<std::uint8_t> pattern(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 8));
    return bytes;
}

void BM_ExpandKey(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    for (auto _ : state) benchmark::DoNotOptimize(aes::expand_key(key));
}
BENCHMARK(BM_ExpandKey)->Arg(16)->Arg(24)->Arg(32);

void BM_EncryptBlockRawKey(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    const auto block = pattern(16, 3);
    for (auto _ : state) benchmark::DoNotOptimize(aes::encrypt_block(block, key));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(BM_EncryptBlockRawKey)->Arg(16)->Arg(24)->Arg(32);

void BM_DecryptBlockRawKey(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    const auto block = pattern(16, 3);
    for (auto _ : state) benchmark::DoNotOptimize(aes::decrypt_block(block, key));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(BM_DecryptBlockRawKey)->Arg(16)->Arg(24)->Arg(32);

void BM_EncryptBlockScheduled(benchmark::State& state) {
    const auto schedule = *aes::expand_key(pattern(static_cast<std::size_t>(state.range(0)), 7));
    aes::Block block{};
    for (auto _ : state) {
        aes::encrypt_block(schedule, block, block);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(BM_EncryptBlockScheduled)->Arg(16)->Arg(24)->Arg(32);

void BM_DecryptBlockScheduled(benchmark::State& state) {
    const auto schedule = *aes::expand_key(pattern(static_cast<std::size_t>(state.range(0)), 7));
    aes::Block block{};
    for (auto _ : state) {
        aes::decrypt_block(schedule, block, block);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
}
BENCHMARK(BM_DecryptBlockScheduled)->Arg(16)->Arg(24)->Arg(32);

constexpr std::size_t MIB = 1 << 20;

ByteBuffer copy_of(const std::vector<std::uint8_t>& bytes) {
    ByteBuffer buffer;
    if (!buffer.reserve(bytes.size() + 16) || !buffer.append(bytes.data(), bytes.size())) std::abort();
    return buffer;
}

// Includes copying the input into an owned buffer, as the Python function does.
void BM_EncryptEcb1MiB(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    const auto text = pattern(MIB, 3);
    for (auto _ : state) benchmark::DoNotOptimize(aes::encrypt_ecb(copy_of(text), key, "pkcs"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MIB));
}
BENCHMARK(BM_EncryptEcb1MiB)->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_DecryptEcb1MiB(benchmark::State& state) {
    const auto key = pattern(static_cast<std::size_t>(state.range(0)), 7);
    auto encrypted = aes::encrypt_ecb(copy_of(pattern(MIB, 3)), key, "pkcs");
    if (!encrypted) std::abort();
    const std::vector<std::uint8_t> ciphertext(encrypted->view().begin(), encrypted->view().end());
    for (auto _ : state) benchmark::DoNotOptimize(aes::decrypt_ecb(copy_of(ciphertext), key, "pkcs"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MIB));
}
BENCHMARK(BM_DecryptEcb1MiB)->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace
