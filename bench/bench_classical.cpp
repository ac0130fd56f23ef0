// The classical cipher cores over 1 MiB of ASCII text, and the letter shift
// of Caesar and ROT13 and the table translation of substitution on each
// instruction-set path.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "ciphers/caesar.hpp"
#include "ciphers/substitution.hpp"
#include "ciphers/translate.hpp"
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

// The table translation of substitution on each instruction-set path, with
// cycles per byte, for a table that changes the four segments of the ASCII
// letters (each letter to another of its case) and for one that changes all
// sixteen (every byte value to another).
void BM_translate(benchmark::State& state, VectorPath path) {
    if (!vector_path_supported(path)) {
        state.SkipWithError((std::string("this CPU lacks the ") + vector_path_name(path) + " path").c_str());
        return;
    }
    const bool every_segment = state.range(0) != 0;
    TranslationTable table;
    for (unsigned b = 0; b < 256; ++b) {
        const bool letter = (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
        table[b] = static_cast<std::uint8_t>(every_segment ? b * 167 + 13
                                              : letter      ? (b & 0xE0) + 1 + ((b & 0x1F) - 1 + 7) % 26
                                                            : b);
    }
    const ByteView text = as_byte_view(ascii_text());
    std::string out(text.size(), '\0');
    bench::run_counting_cycles(state, text.size(), [&] {
        translate_into(table, text, reinterpret_cast<std::uint8_t*>(out.data()), path);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    });
}

}  // namespace

BENCHMARK(BM_caesar);
BENCHMARK_CAPTURE(BM_shift_letters, scalar, VectorPath::scalar);
BENCHMARK_CAPTURE(BM_shift_letters, ssse3, VectorPath::ssse3);
BENCHMARK_CAPTURE(BM_shift_letters, avx2, VectorPath::avx2);
BENCHMARK_CAPTURE(BM_shift_letters, neon, VectorPath::neon);
BENCHMARK(BM_vigenere)->Arg(1)->Arg(0)->ArgName("skip_non_alpha");
BENCHMARK(BM_map_bytes);
BENCHMARK_CAPTURE(BM_translate, scalar, VectorPath::scalar)->Arg(0)->Arg(1)->ArgName("every_segment");
BENCHMARK_CAPTURE(BM_translate, ssse3, VectorPath::ssse3)->Arg(0)->Arg(1)->ArgName("every_segment");
BENCHMARK_CAPTURE(BM_translate, avx2, VectorPath::avx2)->Arg(0)->Arg(1)->ArgName("every_segment");
BENCHMARK_CAPTURE(BM_translate, neon, VectorPath::neon)->Arg(0)->Arg(1)->ArgName("every_segment");
