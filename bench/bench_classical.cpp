// The classical cipher cores over 1 MiB of ASCII text, and the letter shift
// of Caesar and ROT13 on each instruction-set path.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "ciphers/caesar.hpp"
#include "ciphers/substitution.hpp"
#include "ciphers/vigenere.hpp"
#include "cycles_per_byte.hpp"

namespace {

using namespace korvalith;

const std::string& ascii_text() {
    static const std::string text = [] {
        const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ     ,.!?0123456789";
        std::mt19937 rng(1);
        std::string out(1 << 20, ' ');
        for (char& c : out) c = alphabet[rng() % alphabet.size()];
        return out;
    }();
    return text;
}

template <typename Run>
void run_over_text(benchmark::State& state, Run&& run) {
    const ByteView text = as_byte_view(ascii_text());
    for (auto _ : state) {
        auto result = run(text);
        benchmark::DoNotOptimize(result->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_caesar(benchmark::State& state) {
    run_over_text(state, [](ByteView text) { return caesar_cipher(text, 3, false); });
}

// The letter shift of Caesar and ROT13 on each instruction-set path, with
// cycles per byte; a path the CPU lacks is reported as skipped.
void BM_shift_letters(benchmark::State& state, VectorPath path) {
    if (!vector_path_supported(path)) {
        state.SkipWithError((std::string("this CPU lacks the ") + vector_path_name(path) + " path").c_str());
        return;
    }
    const ByteView text = as_byte_view(ascii_text());
    std::string out(text.size(), '\0');
    bench::run_counting_cycles(state, text.size(), [&] {
        shift_letters_into(text, 13, reinterpret_cast<std::uint8_t*>(out.data()), path);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    });
}

void BM_vigenere(benchmark::State& state) {
    const bool skip = state.range(0) != 0;
    const ByteView key = as_byte_view("Korvalith");
    run_over_text(state, [&](ByteView text) { return vigenere_cipher(text, key, false, skip); });
}

void BM_map_bytes(benchmark::State& state) {
    ByteMap map;
    for (unsigned letter = 0; letter < 26; ++letter) {
        map.insert(static_cast<std::uint8_t>('a' + letter), static_cast<std::uint8_t>('a' + (letter * 7 + 3) % 26));
    }
    run_over_text(state, [&](ByteView text) { return map_bytes(text, map); });
}

}  // namespace

BENCHMARK(BM_caesar);
BENCHMARK_CAPTURE(BM_shift_letters, scalar, VectorPath::scalar);
BENCHMARK_CAPTURE(BM_shift_letters, ssse3, VectorPath::ssse3);
BENCHMARK_CAPTURE(BM_shift_letters, avx2, VectorPath::avx2);
BENCHMARK_CAPTURE(BM_shift_letters, neon, VectorPath::neon);
BENCHMARK(BM_vigenere)->Arg(1)->Arg(0)->ArgName("skip_non_alpha");
BENCHMARK(BM_map_bytes);
