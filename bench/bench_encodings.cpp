// Throughput of the Base32 and Base64 cores: encoding random bytes, and
// decoding their encoded text (whole groups on the fast path), at sizes from
// one group to 1 MiB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "encodings/base32.hpp"
#include "encodings/base64.hpp"

namespace {

std::vector<std::uint8_t> random_bytes(std::size_t size) {
    std::mt19937 generator(2);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

template <auto Core>
void run(benchmark::State& state, korvalith::ByteView input, std::size_t processed) {
    for (auto _ : state) {
        auto result = Core(input);
        benchmark::DoNotOptimize(result->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * processed));
}

template <auto Encode>
void encode(benchmark::State& state) {
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    run<Encode>(state, data, data.size());
}

// Throughput is counted in decoded bytes, like the encoders' input.
template <auto Encode, auto Decode>
void decode(benchmark::State& state) {
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    const auto text = Encode(data);
    run<Decode>(state, text->view(), data.size());
}

// Upper-case and lower-case Base32 alike take the fast path; this checks it.
void base32_decode_lower_case(benchmark::State& state) {
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    auto text = korvalith::base32_encode(data);
    for (std::size_t i = 0; i < text->size(); ++i) {
        if (text->data()[i] >= 'A' && text->data()[i] <= 'Z') text->data()[i] += 'a' - 'A';
    }
    run<korvalith::base32_decode>(state, text->view(), data.size());
}

}  // namespace

BENCHMARK(encode<korvalith::base64_encode>)->Name("base64_encode")->RangeMultiplier(64)->Range(3, 3 << 18);
BENCHMARK(decode<korvalith::base64_encode, korvalith::base64_decode>)
    ->Name("base64_decode")
    ->RangeMultiplier(64)
    ->Range(3, 3 << 18);
BENCHMARK(encode<korvalith::base32_encode>)->Name("base32_encode")->RangeMultiplier(64)->Range(5, 5 << 18);
BENCHMARK(decode<korvalith::base32_encode, korvalith::base32_decode>)
    ->Name("base32_decode")
    ->RangeMultiplier(64)
    ->Range(5, 5 << 18);
BENCHMARK(base32_decode_lower_case)->Arg(1 << 20);
