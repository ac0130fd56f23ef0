// Throughput of the Base32 and Base64 cores on every instruction-set path:
// encoding random bytes, and decoding their encoded text (plain characters
// throughout, so the vector loops run to the end), from one vector block to
// 1 MiB, written into buffers sized beforehand. Throughput and cycles are
// counted per data byte (the encoder's input, the decoder's output; see
// cycles_per_byte.hpp). A path the CPU lacks is reported as skipped. The first rows time the
// owned-buffer routines on the widest path.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "encodings/base32.hpp"
#include "encodings/base64.hpp"
#include "cycles_per_byte.hpp"

namespace {

using korvalith::VectorPath;
using korvalith::bench::run_counting_cycles;

std::vector<std::uint8_t> random_bytes(std::size_t size) {
    std::mt19937 generator(2);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

struct Codec {
    std::optional<std::size_t> (*encoded_size)(std::size_t);
    void (*encode_into)(korvalith::ByteView, std::span<std::uint8_t>, VectorPath);
    std::size_t (*decoded_size)(korvalith::ByteView);
    korvalith::CoreResult<void> (*decode_into)(korvalith::ByteView, std::span<std::uint8_t>, VectorPath);
};

template <typename C>
constexpr Codec codec_of() {
    return {C::encoded_size,
            [](korvalith::ByteView data, std::span<std::uint8_t> out, VectorPath path) {
                C::encode_into(data, out, path);
            },
            C::decoded_size,
            [](korvalith::ByteView text, std::span<std::uint8_t> out, VectorPath path) {
                return C::decode_into(text, out, path);
            }};
}

const Codec BASE32 = codec_of<korvalith::Base32>();
const Codec BASE64 = codec_of<korvalith::Base64>();

bool skipped(benchmark::State& state, VectorPath path) {
    if (korvalith::vector_path_supported(path)) return false;
    state.SkipWithError((std::string("this CPU lacks the ") + korvalith::vector_path_name(path) + " path").c_str());
    return true;
}

void encode(benchmark::State& state, const Codec& codec, VectorPath path) {
    if (skipped(state, path)) return;
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> text(*codec.encoded_size(data.size()));
    run_counting_cycles(state, data.size(), [&] {
        codec.encode_into(data, text, path);
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    });
}

void decode(benchmark::State& state, const Codec& codec, VectorPath path) {
    if (skipped(state, path)) return;
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> text(*codec.encoded_size(data.size()));
    codec.encode_into(data, text, VectorPath::scalar);
    std::vector<std::uint8_t> out(data.size());
    run_counting_cycles(state, data.size(), [&] {
        auto decoded = codec.decode_into(text, out, path);
        benchmark::DoNotOptimize(decoded);
        benchmark::ClobberMemory();
    });
}

// The owned-buffer routines (what the command line and the text functions
// use): the first pass for the "=", one allocation, the widest path.
template <auto Core>
void owned(benchmark::State& state, korvalith::ByteView input, std::size_t data_bytes) {
    run_counting_cycles(state, data_bytes, [&] {
        auto result = Core(input);
        benchmark::DoNotOptimize(result->data());
    });
}

void register_paths() {
    constexpr std::int64_t MIB = 1 << 20;
    for (VectorPath path : korvalith::VECTOR_PATHS) {
        const std::string name = korvalith::vector_path_name(path);
        benchmark::RegisterBenchmark(("base64_encode/" + name).c_str(), encode, BASE64, path)
            ->Arg(48)->Arg(4096)->Arg(MIB);
        benchmark::RegisterBenchmark(("base64_decode/" + name).c_str(), decode, BASE64, path)
            ->Arg(48)->Arg(4096)->Arg(MIB);
        benchmark::RegisterBenchmark(("base32_encode/" + name).c_str(), encode, BASE32, path)
            ->Arg(40)->Arg(4095)->Arg(MIB);
        benchmark::RegisterBenchmark(("base32_decode/" + name).c_str(), decode, BASE32, path)
            ->Arg(40)->Arg(4095)->Arg(MIB);
    }
}

void base64_decode_owned(benchmark::State& state) {
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    const auto text = korvalith::base64_encode(data);
    owned<korvalith::base64_decode>(state, text->view(), data.size());
}

void base32_decode_owned(benchmark::State& state) {
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    const auto text = korvalith::base32_encode(data);
    owned<korvalith::base32_decode>(state, text->view(), data.size());
}

void base64_encode_owned(benchmark::State& state) {
    const auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    owned<korvalith::base64_encode>(state, data, data.size());
}

}  // namespace

BENCHMARK(base64_encode_owned)->Arg(1 << 20);
BENCHMARK(base64_decode_owned)->Arg(1 << 20);
BENCHMARK(base32_decode_owned)->Arg(1 << 20);

int main(int argc, char** argv) {
    register_paths();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
